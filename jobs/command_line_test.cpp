#include <gtest/gtest.h>

#include "jobs/command_line.h"

namespace {

using os::CommandDialect;

TEST(ProgramBaseDirectory, AddsTheDialectsSeparatorUnchecked) {
  struct Case {
    std::optional<std::string> value;
    CommandDialect dialect;
    const char* expected;
  };
  for (const Case& c : {Case{std::nullopt, CommandDialect::kCmd, ""},
                        Case{std::string(""), CommandDialect::kCmd, ""},
                        Case{std::string("D:\\Tools"), CommandDialect::kCmd, "D:\\Tools\\"},
                        Case{std::string("C:\\X\\"), CommandDialect::kCmd, "C:\\X\\\\"},
                        Case{std::string(" padded "), CommandDialect::kCmd, " padded \\"},
                        Case{std::string("/opt/vtps"), CommandDialect::kPosix, "/opt/vtps/"},
                        Case{std::string("/opt/vtps/"), CommandDialect::kPosix, "/opt/vtps//"}}) {
    EXPECT_EQ(ProgramBaseDirectory(c.value, c.dialect), c.expected) << c.value.value_or("unset");
  }
}

TEST(DriveSwitch, OnlyForALetterAndAColon) {
  struct Case {
    const char* base;
    const char* expected;
  };
  for (const Case& c : {Case{"C:\\X\\", "C: & "}, Case{"d:\\", "d: & "},
                        Case{"\\\\server\\s\\", ""}, Case{"tools\\", ""}, Case{"D\\", ""},
                        Case{"1:\\", ""}, Case{":", ""}, Case{"", ""}, Case{"\xC3\x84:\\", ""}}) {
    EXPECT_EQ(DriveSwitch(c.base), c.expected) << c.base;
  }
}

TEST(BuildCommandLine, CmdDialectTable) {
  struct Case {
    const char* base;
    const char* programDirectory;
    const char* program;
    const char* expected;
  };
  const Case cases[] = {
      {"", "procs\\", "run.bat", "cd procs\\ & procs\\run.bat -r -i J"},
      {"D:\\Tools\\", "bin\\", "proc.exe",
       "D: & cd D:\\Tools\\bin\\ & D:\\Tools\\bin\\proc.exe -r -i J"},
      {"C:\\X\\", "", "p.cmd", "C: & cd C:\\X\\ & C:\\X\\p.cmd -r -i J"},
      {"\\\\server\\share\\", "b\\", "p.exe",
       "cd \\\\server\\share\\b\\ & \\\\server\\share\\b\\p.exe -r -i J"},
      {"tools\\", "b\\", "p.exe", "cd tools\\b\\ & tools\\b\\p.exe -r -i J"},
      {"D\\", "", "p.exe", "cd D\\ & D\\p.exe -r -i J"},
      {"", "My Procs\\", "my run.bat", "cd My Procs\\ & My Procs\\my run.bat -r -i J"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildCommandLine(CommandDialect::kCmd, c.base, c.programDirectory, c.program, "J"),
              c.expected);
  }
}

TEST(BuildCommandLine, PosixDialectTable) {
  EXPECT_EQ(BuildCommandLine(CommandDialect::kPosix, "", "procs/", "run.sh", "/w/j.xml"),
            "cd procs/ ; procs/run.sh -r -i /w/j.xml");
  EXPECT_EQ(BuildCommandLine(CommandDialect::kPosix, "/opt/vtps/", "bin/", "p", "/w/j.xml"),
            "cd /opt/vtps/bin/ ; /opt/vtps/bin/p -r -i /w/j.xml");
  // No drive switch in this dialect, even for a base that looks like one.
  EXPECT_EQ(BuildCommandLine(CommandDialect::kPosix, "C:/", "", "p", "j"), "cd C:/ ; C:/p -r -i j");
}

}  // namespace
