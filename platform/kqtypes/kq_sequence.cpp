#include "platform/kqtypes/kq_sequence.h"

#include <string>

#include "platform/kqtypes/kq_exception.h"

namespace kq_sequence {

void ThrowOutOfRange(const char* className, std::size_t index, std::size_t count) {
  throw KQ_EException(KQ_TString(className) + ": index " + std::to_string(index) +
                      " is out of range (count " + std::to_string(count) + ")");
}

void Pack(const std::vector<KQ_TAny>& elements, KQ_IPacking& out) {
  out.PackCount(elements.size());
  for (const KQ_TAny& element : elements)
    out.PackValue(element);
}

std::vector<KQ_TAny> Unpack(KQ_IUnpacking& in) {
  std::size_t count = in.UnpackCount();
  std::vector<KQ_TAny> elements(count);
  for (KQ_TAny& element : elements)
    in.UnpackValue(element);
  return elements;
}

bool Equal(const std::vector<KQ_TAny>& left, const std::vector<KQ_TAny>& right) {
  if (left.size() != right.size())
    return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (!(left[i] == right[i]))
      return false;
  }
  return true;
}

void Print(const std::vector<KQ_TAny>& elements, std::ostream& out, char open, char close) {
  out << open;
  const char* separator = "";
  for (const KQ_TAny& element : elements) {
    out << separator;
    element.PrintOn(out);
    separator = ", ";
  }
  out << close;
}

}  // namespace kq_sequence
