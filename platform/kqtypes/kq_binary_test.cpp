#include <gtest/gtest.h>

#include <string>

#include "platform/kqtypes/kqtypes.h"
#include "platform/kqtypes/test_exceptions.h"

namespace {

// One value of every class, nested in one another.
KQ_TAny EveryClass() {
  KQ_TDict inner;
  inner["text"] = "with\0nul";
  inner["empty"] = "";
  inner["flag"] = true;
  inner["number"] = -1234567890123;
  KQ_TArray array;
  array.Append("one");
  array.Append(inner);
  array.Append(KQ_TAny());
  KQ_TList list;
  list.Append("a");
  list.Append(KQ_TURL("file:///tmp/x"));
  KQ_TTree tree;
  tree["leaf"] = "v";
  tree["sub"] = KQ_TTree();
  KQ_TDict top;
  top["inner"] = inner;
  top["array"] = array;
  top["list"] = list;
  top["tree"] = tree;
  top["url"] = KQ_TURL("file:///C:/dir");
  top["error"] = KQ_EException("failed", KQ_TAny(inner));
  top["derived"] = Test_EFailure("derived failure");
  top["binary"] = KQ_TString(std::string("\x00\xff\x01", 3));
  return KQ_TAny(top);
}

std::string Message(const std::string& bytes) {
  try {
    KQ_FromBytes(bytes);
  } catch (const KQ_EException& error) {
    return error.KQ_Message().Text();
  }
  return "accepted";
}

TEST(Packing, EveryClassRoundTripsNested) {
  __KQ_INITIALIZATION_FUNCTION_kqtypes__();
  Test_EFailure::KQ_ClassObject();
  KQ_TAny value = EveryClass();
  KQ_TAny back = KQ_FromBytes(KQ_ToBytes(value));
  EXPECT_TRUE(back == value);
  const KQ_TDict* dict = back.DynamicCast<KQ_TDict>();
  ASSERT_NE(dict, nullptr);
  EXPECT_STREQ((*dict)["derived"].ClassName(), "Test_EFailure");
  EXPECT_STREQ((*dict)["tree"].ClassName(), "KQ_TTree");
  EXPECT_STREQ((*dict)["list"].ClassName(), "KQ_TList");
  EXPECT_TRUE(KQ_FromBytes(KQ_ToBytes(KQ_TAny())).IsNull());
}

TEST(Packing, ExceptionsKeepSourceAndTrace) {
  KQ_EException error("m");
  error.AddTrace("first");
  error.AddTrace("second");
  KQ_TAny back = KQ_FromBytes(KQ_ToBytes(KQ_TAny(error)));
  const KQ_EException* copy = back.DynamicCast<KQ_EException>();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->KQ_StackTrace().Text(), "first\nsecond");
  EXPECT_EQ(copy->KQ_ExceptionLine(), error.KQ_ExceptionLine());
  EXPECT_STREQ(copy->KQ_ExceptionFile(), error.KQ_ExceptionFile());
}

TEST(Packing, ReceiverMakesTheMostDerivedClassItCan) {
  Test_EUnmakeable::KQ_ClassObject();
  KQ_TAny back = KQ_FromBytes(KQ_ToBytes(KQ_TAny(Test_EUnmakeable("deep"))));
  EXPECT_STREQ(back.ClassName(), "Test_EFailure");
  ASSERT_NE(back.DynamicCast<KQ_EException>(), nullptr);
  EXPECT_EQ(back.DynamicCast<KQ_EException>()->KQ_Message().Text(), "deep");
  try {
    dynamic_cast<const KQ_IThrowable*>(back.Get())->KQ_Raise();
  } catch (const Test_EFailure& raised) {
    EXPECT_EQ(raised.KQ_Message().Text(), "deep");
  }
}

TEST(Packing, ObjectOfNoKnownClassIsRejected) {
  KQ_TBinaryPacker packer;
  packer.PackCount(2);
  packer.PackText("Nobody_EKnows");
  packer.PackText("Nobody_EEither");
  std::string bytes = std::string(1, static_cast<char>(kKQ_TagObject)) + packer.Bytes();
  EXPECT_NE(Message(bytes).find("none of the classes Nobody_EKnows, Nobody_EEither"),
            std::string::npos);
}

TEST(Packing, EveryTruncationIsRejected) {
  std::string bytes = KQ_ToBytes(EveryClass());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    EXPECT_THROW(KQ_FromBytes(std::string_view(bytes).substr(0, length)), KQ_EException)
        << "cut at " << length;
  }
}

TEST(Packing, EveryCorruptedByteIsRejectedOrDecodedToAStableValue) {
  // Changing any byte must give either an exception or a value that packs and unpacks to an
  // equal value again, never a crash or a read outside the buffer (the sanitizer build
  // checks the latter).
  std::string bytes = KQ_ToBytes(EveryClass());
  int rejected = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (char replacement : {'\x00', '\x7f', '\xff'}) {
      std::string corrupted = bytes;
      corrupted[i] = replacement;
      KQ_TAny decoded;
      try {
        decoded = KQ_FromBytes(corrupted);
      } catch (const KQ_EException&) {
        ++rejected;
        continue;
      }
      KQ_TAny again;
      EXPECT_NO_THROW(again = KQ_FromBytes(KQ_ToBytes(decoded))) << "byte " << i;
      EXPECT_TRUE(again == decoded) << "byte " << i << " set to " << int{replacement};
    }
  }
  // The length and tag bytes alone make many of the changes unreadable.
  EXPECT_GT(rejected, 0);
}

TEST(Packing, MalformedInputNamesTheFault) {
  struct Case {
    std::string bytes;
    const char* fault;
  };
  std::string string = std::string(1, static_cast<char>(kKQ_TagString));
  const Case cases[] = {
      {"", "the data ends"},
      {"\x42", "unknown value tag 0x42"},
      {string + "\x03", "expected a text"},
      {string + std::string("\x01\x7f\xff\xff\xff", 5) + "abc", "runs past the end"},
      {std::string("\x14\x04\xff\xff\xff\xff", 6), "more than the bytes left"},
      {std::string("\x12\x02\x05", 3), "must be 0 or 1"},
      {KQ_ToBytes(KQ_TAny("x")) + "y", "1 bytes follow the value"},
  };
  for (const Case& c : cases)
    EXPECT_NE(Message(c.bytes).find(c.fault), std::string::npos) << Message(c.bytes);
}

TEST(Packing, NestingDeeperThanTheLimitIsRejected) {
  auto nested = [](int levels) {
    KQ_TAny value("leaf");
    for (int i = 0; i < levels; ++i) {
      KQ_TDict dict;
      dict["d"] = std::move(value);
      value = KQ_TAny(std::move(dict));
    }
    return value;
  };
  EXPECT_NO_THROW(KQ_FromBytes(KQ_ToBytes(nested(kKQ_MaxPackDepth - 1))));
  // What cannot be read is not written either.
  EXPECT_THROW(KQ_ToBytes(nested(kKQ_MaxPackDepth)), KQ_EException);
  // A hand-made run of array openings far deeper than any real value.
  std::string deep;
  for (int i = 0; i < 100000; ++i)
    deep += std::string("\x15\x04\x00\x00\x00\x01", 6);
  EXPECT_NE(Message(deep).find("deeper than"), std::string::npos);
}

TEST(Packing, WhatPacksAtTheLimitUnpacks) {
  // Innermost a null slot: a null takes no nesting level on either side.
  KQ_TAny value;
  for (int i = 0; i < kKQ_MaxPackDepth; ++i) {
    KQ_TArray array;
    array.SetLength(1);
    array[0] = std::move(value);
    value = KQ_TAny(std::move(array));
  }
  EXPECT_TRUE(KQ_FromBytes(KQ_ToBytes(value)) == value);
}

TEST(Packing, ClaimedCountsDoNotAllocateAhead) {
  // Every level claims as many elements as there are bytes left; decoding must fail at the
  // end of the data without having sized anything by the claims.
  std::string bytes;
  for (int i = 0; i < kKQ_MaxPackDepth - 1; ++i) {
    std::uint32_t claim = static_cast<std::uint32_t>((kKQ_MaxPackDepth - 1 - i) * 6 + 4000000);
    bytes += std::string("\x15\x04", 2);
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes += static_cast<char>((claim >> shift) & 0xFF);
  }
  bytes += std::string(4000000, '\x10');  // nulls
  EXPECT_THROW(KQ_FromBytes(bytes), KQ_EException);
}

int madeByFactory = 0;

TEST(Packing, OnlyExceptionClassesAreMadeFromAPeersData) {
  KQ_TClass::GetClassObject(
      false, "Test_TNotAnException", sizeof(KQ_TString), KQ_TObject::KQ_ClassObject(),
      +[]() -> KQ_TObject* {
        ++madeByFactory;
        return new KQ_TString("made");
      },
      nullptr);
  KQ_TBinaryPacker packer;
  packer.PackCount(1);
  packer.PackText("Test_TNotAnException");
  std::string bytes = std::string(1, static_cast<char>(kKQ_TagObject)) + packer.Bytes();
  EXPECT_NE(Message(bytes).find("can be made here"), std::string::npos);
  EXPECT_EQ(madeByFactory, 0);
}

TEST(Packing, SectionsMustMatchByName) {
  KQ_TBinaryPacker packer;
  packer.OpenSection("KQ_EException");
  KQ_TBinaryUnpacker unpacker(packer.Bytes());
  try {
    unpacker.OpenSection("NTR_EConfigException");
    ADD_FAILURE() << "a section of another name was accepted";
  } catch (const KQ_EException& error) {
    EXPECT_NE(error.KQ_Message().Text().find("found KQ_EException"), std::string::npos);
  }
}

}  // namespace
