// Built into the PDF processor in sanitizer builds only. Poppler looks fonts up through
// fontconfig, which keeps a small configuration it never frees; LeakSanitizer would report
// it at exit and turn every rendering run into a failure. Leaks in our own code are still
// reported. The list of suppressions used is not printed, so that standard error stays
// empty after a clean run.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
