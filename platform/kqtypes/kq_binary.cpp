#include "platform/kqtypes/kq_binary.h"

#include <boost/endian/conversion.hpp>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/kqtypes/kq_array.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_list.h"
#include "platform/kqtypes/kq_scalar.h"
#include "platform/kqtypes/kq_tree.h"
#include "platform/kqtypes/kq_url.h"

namespace {

// Counts one level of nesting for as long as it lives.
class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int& depth_;
};

// Appends `value` in big-endian byte order.
template <class Unsigned>
void AppendBig(std::string& out, Unsigned value) {
  unsigned char bytes[sizeof value];
  boost::endian::endian_store<Unsigned, sizeof value, boost::endian::order::big>(bytes, value);
  out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// "0x1F"
std::string TagText(std::uint8_t tag) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", tag);
  return text;
}

}  // namespace

void KQ_TBinaryPacker::PutU32(std::size_t value, const char* what) {
  if (value > 0xFFFFFFFFu)
    throw KQ_EException(KQ_TString(what) + " is too long to pack");
  AppendBig(out_, static_cast<std::uint32_t>(value));
}

void KQ_TBinaryPacker::OpenSection(const char* name) {
  out_ += static_cast<char>(kKQ_TagSectionOpen);
  std::string_view text(name == nullptr ? "" : name);
  PutU32(text.size(), "a section name");
  out_ += text;
}

void KQ_TBinaryPacker::CloseSection(const char* name) {
  out_ += static_cast<char>(kKQ_TagSectionClose);
  std::string_view text(name == nullptr ? "" : name);
  PutU32(text.size(), "a section name");
  out_ += text;
}

void KQ_TBinaryPacker::PackText(std::string_view text) {
  out_ += static_cast<char>(kKQ_TagText);
  PutU32(text.size(), "a text");
  out_ += text;
}

void KQ_TBinaryPacker::PackBool(bool value) {
  out_ += static_cast<char>(kKQ_TagBool);
  out_ += static_cast<char>(value ? 1 : 0);
}

void KQ_TBinaryPacker::PackInt(std::int64_t value) {
  out_ += static_cast<char>(kKQ_TagInt);
  AppendBig(out_, static_cast<std::uint64_t>(value));
}

void KQ_TBinaryPacker::PackCount(std::size_t count) {
  out_ += static_cast<char>(kKQ_TagCount);
  PutU32(count, "a collection");
}

void KQ_TBinaryPacker::PackValue(const KQ_TAny& value) {
  const KQ_IPackable* packable = value.Get();
  if (packable == nullptr) {
    out_ += static_cast<char>(kKQ_TagNull);
    return;
  }
  if (depth_ >= kKQ_MaxPackDepth) {
    throw KQ_EException("values nest deeper than " + std::to_string(kKQ_MaxPackDepth) +
                        " levels and cannot be packed");
  }
  DepthGuard nested(depth_);
  std::uint8_t tag = packable->KQ_PackTypeID();
  out_ += static_cast<char>(tag);
  if (tag == kKQ_TagObject)
    packable->KQ_PackClassObject(*this);
  packable->KQ_Pack(*this);
}

void KQ_TBinaryUnpacker::Fail(const std::string& what) const {
  throw KQ_EException("malformed packed data at byte " + std::to_string(position_) + ": " + what);
}

std::uint8_t KQ_TBinaryUnpacker::TakeByte(const char* what) {
  if (position_ >= in_.size())
    Fail(std::string("the data ends where ") + what + " should be");
  return static_cast<std::uint8_t>(in_[position_++]);
}

void KQ_TBinaryUnpacker::ExpectTag(std::uint8_t tag, const char* what) {
  std::uint8_t found = TakeByte(what);
  if (found != tag) {
    --position_;
    Fail(std::string("expected ") + what + ", found tag " + TagText(found));
  }
}

std::uint32_t KQ_TBinaryUnpacker::TakeU32(const char* what) {
  return boost::endian::load_big_u32(TakeFixed(4, what));
}

const unsigned char* KQ_TBinaryUnpacker::TakeFixed(std::size_t count, const char* what) {
  if (in_.size() - position_ < count) {
    position_ = in_.size();
    Fail(std::string("the data ends where ") + what + " should be");
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(in_.data() + position_);
  position_ += count;
  return bytes;
}

std::string_view KQ_TBinaryUnpacker::TakeBytes(std::size_t count, const char* what) {
  if (count > in_.size() - position_)
    Fail(std::string(what) + " of " + std::to_string(count) + " bytes runs past the end");
  std::string_view bytes = in_.substr(position_, count);
  position_ += count;
  return bytes;
}

void KQ_TBinaryUnpacker::ExpectSection(std::uint8_t tag, const char* name) {
  const char* what = tag == kKQ_TagSectionOpen ? "a section start" : "a section end";
  ExpectTag(tag, what);
  std::string_view found = TakeBytes(TakeU32(what), "a section name");
  std::string_view expected(name == nullptr ? "" : name);
  if (found != expected)
    Fail(std::string(what) + " named " + std::string(expected) + ", found " + std::string(found));
}

void KQ_TBinaryUnpacker::OpenSection(const char* name) {
  ExpectSection(kKQ_TagSectionOpen, name);
}

void KQ_TBinaryUnpacker::CloseSection(const char* name) {
  ExpectSection(kKQ_TagSectionClose, name);
}

std::string KQ_TBinaryUnpacker::UnpackText() {
  ExpectTag(kKQ_TagText, "a text");
  return std::string(TakeBytes(TakeU32("a text length"), "a text"));
}

bool KQ_TBinaryUnpacker::UnpackBool() {
  ExpectTag(kKQ_TagBool, "a boolean");
  std::uint8_t value = TakeByte("a boolean");
  if (value > 1)
    Fail("a boolean must be 0 or 1");
  return value == 1;
}

std::int64_t KQ_TBinaryUnpacker::UnpackInt() {
  ExpectTag(kKQ_TagInt, "an integer");
  return static_cast<std::int64_t>(boost::endian::load_big_u64(TakeFixed(8, "an integer")));
}

std::size_t KQ_TBinaryUnpacker::UnpackCount() {
  ExpectTag(kKQ_TagCount, "a count");
  std::uint32_t count = TakeU32("a count");
  // Every element takes at least one byte, so a larger count cannot be right; checking
  // here keeps an absurd count from allocating.
  if (count > in_.size() - position_)
    Fail("a count of " + std::to_string(count) + " is more than the bytes left");
  return count;
}

namespace {

// A new, empty value of the library class a value tag stands for; null for other tags.
std::unique_ptr<KQ_IPackable> NewLibraryValue(std::uint8_t tag) {
  switch (tag) {
    case kKQ_TagString:
      return std::make_unique<KQ_TString>();
    case kKQ_TagBoolValue:
      return std::make_unique<KQ_TBool>();
    case kKQ_TagIntValue:
      return std::make_unique<KQ_TInt>();
    case kKQ_TagDict:
      return std::make_unique<KQ_TDict>();
    case kKQ_TagArray:
      return std::make_unique<KQ_TArray>();
    case kKQ_TagList:
      return std::make_unique<KQ_TList>();
    case kKQ_TagURL:
      return std::make_unique<KQ_TURL>();
    case kKQ_TagTree:
      return std::make_unique<KQ_TTree>();
    default:
      return nullptr;
  }
}

}  // namespace

void KQ_TBinaryUnpacker::UnpackValue(KQ_TAny& value) {
  std::uint8_t tag = TakeByte("a value");
  if (tag == kKQ_TagNull) {
    value.Clear();
    return;
  }
  // Counted as the packer counts: a null takes no level of its own.
  if (depth_ >= kKQ_MaxPackDepth)
    Fail("values nest deeper than " + std::to_string(kKQ_MaxPackDepth) + " levels");
  DepthGuard nested(depth_);
  if (tag == kKQ_TagObject) {
    UnpackObject(value);
    return;
  }
  std::unique_ptr<KQ_IPackable> fresh = NewLibraryValue(tag);
  if (fresh == nullptr) {
    --position_;
    Fail(std::string("unknown value tag ") + TagText(tag));
  }
  fresh->KQ_Unpack(*this);
  value = KQ_TAny(std::move(fresh));
}

void KQ_TBinaryUnpacker::UnpackObject(KQ_TAny& value) {
  std::size_t count = UnpackCount();
  if (count == 0 || count > kKQ_MaxClassChain)
    Fail("a class chain of " + std::to_string(count) + " names");
  std::vector<std::string> chain;
  for (std::size_t i = 0; i < count; ++i)
    chain.push_back(UnpackText());

  // The most derived class this process knows; the sections of the classes above it are
  // entered and left around its content.
  std::unique_ptr<KQ_IPackable> object;
  std::size_t known = 0;
  for (; known < chain.size(); ++known) {
    // Only exceptions travel as objects of registered classes; a factory of any other class
    // (a server, say) must not run because a peer named it.
    KQ_TClass* record = KQ_TClass::Find(chain[known].c_str());
    if (record == nullptr || !record->IsA(KQ_EException::KQ_ClassName))
      continue;
    std::unique_ptr<KQ_TObject> made(record->Create());
    if (auto* packable = dynamic_cast<KQ_IPackable*>(made.get())) {
      made.release();
      object.reset(packable);
      break;
    }
  }
  if (object == nullptr) {
    std::string names;
    for (const std::string& name : chain)
      names += (names.empty() ? "" : ", ") + name;
    Fail("none of the classes " + names + " can be made here");
  }
  for (std::size_t i = 1; i <= known; ++i)
    OpenSection(chain[i].c_str());
  object->KQ_Unpack(*this);
  for (std::size_t i = known; i >= 1; --i)
    CloseSection(chain[i].c_str());
  value = KQ_TAny(std::move(object));
}

std::string KQ_ToBytes(const KQ_TAny& value) {
  KQ_TBinaryPacker packer;
  packer.PackValue(value);
  return packer.TakeBytes();
}

KQ_TAny KQ_FromBytes(std::string_view bytes) {
  KQ_TBinaryUnpacker unpacker(bytes);
  KQ_TAny value;
  unpacker.UnpackValue(value);
  if (!unpacker.AtEnd())
    throw KQ_EException(
        "malformed packed data: " + std::to_string(bytes.size() - unpacker.Position()) +
        " bytes follow the value");
  return value;
}
