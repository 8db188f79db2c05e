// KQTypes, the typed-value library: strings, any-values, dictionaries, arrays, lists, URLs,
// configuration trees, exceptions, the class registry and packing. Include this header for
// all of it.
#pragma once

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_array.h"
#include "platform/kqtypes/kq_binary.h"
#include "platform/kqtypes/kq_class.h"
#include "platform/kqtypes/kq_dict.h"
#include "platform/kqtypes/kq_exception.h"
#include "platform/kqtypes/kq_iterator.h"
#include "platform/kqtypes/kq_list.h"
#include "platform/kqtypes/kq_object.h"
#include "platform/kqtypes/kq_packing.h"
#include "platform/kqtypes/kq_scalar.h"
#include "platform/kqtypes/kq_string.h"
#include "platform/kqtypes/kq_tree.h"
#include "platform/kqtypes/kq_url.h"

// Makes the library ready: registers the records of its own classes, so that values and
// exceptions of them can be re-created by class name. Returns true; safe to call again and
// from any thread.
extern "C" bool __KQ_INITIALIZATION_FUNCTION_kqtypes__();
