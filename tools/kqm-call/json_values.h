// Typed values <-> JSON, as kqm-call reads parameters and prints answers. Pure functions.
//
// JSON strings are KQ_TString, objects KQ_TDict (in their order), arrays KQ_TArray,
// booleans KQ_TBool, integers KQ_TInt and null the empty value. Back to JSON, KQ_TURL
// prints as {"url": "..."}, KQ_TTree as an object, KQ_TList as an array, and a value of any
// other class as {"class": "<its name>"}.
#pragma once

#include <nlohmann/json.hpp>

#include "platform/kqtypes/kq_any.h"

// Throws std::invalid_argument for a number that is not a whole 64-bit number.
KQ_TAny ValueFromJson(const nlohmann::ordered_json& json);

nlohmann::ordered_json JsonFromValue(const KQ_TAny& value);
