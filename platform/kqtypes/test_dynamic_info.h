// AnswersWithEachPart, for the tests of registered classes: whether an object answers
// KQ_DynamicInfo, for the name of each class of its chain, with its part of that class.
//
// A pure check on the object; use it from the test's thread.
#pragma once

#include <gtest/gtest.h>

#include "platform/kqtypes/kq_interface.h"

// Whether `object` answers KQ_DynamicInfo(Part::KQ_ClassName) with itself as a Part, for
// every Part in `Parts`; the failure names the first class answered otherwise.
template <class... Parts, class Object>
::testing::AssertionResult AnswersWithEachPart(const Object& object) {
  const KQ_IInterface& asInterface = object;
  const char* wrong = nullptr;
  auto check = [&](const char* name, const void* part) {
    if (wrong == nullptr && asInterface.KQ_DynamicInfo(name) != part)
      wrong = name;
  };
  (check(Parts::KQ_ClassName, static_cast<const Parts*>(&object)), ...);
  if (wrong == nullptr)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "KQ_DynamicInfo(\"" << wrong << "\") does not answer the object's part of that class";
}
