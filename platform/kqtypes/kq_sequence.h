// The parts KQ_TArray and KQ_TList share: checked indexing, packing, comparison and
// printing of a vector of values. Internal to platform/kqtypes.
#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "platform/kqtypes/kq_any.h"

namespace kq_sequence {

// Throws KQ_EException naming the index and the count.
[[noreturn]] void ThrowOutOfRange(const char* className, std::size_t index, std::size_t count);

void Pack(const std::vector<KQ_TAny>& elements, KQ_IPacking& out);
std::vector<KQ_TAny> Unpack(KQ_IUnpacking& in);
bool Equal(const std::vector<KQ_TAny>& left, const std::vector<KQ_TAny>& right);
void Print(const std::vector<KQ_TAny>& elements, std::ostream& out, char open, char close);

}  // namespace kq_sequence
