// A document whose resource dictionaries are not all dictionaries: a form XObject and a form
// field's appearance whose /Resources refer to a stream. Readers ignore such resources (the
// form's text is drawn with the page's fonts), `qpdf --check` finds nothing, and qpdf writes
// it as it is; copying those resources as a dictionary fails. Plain function; nothing is
// shared.
#pragma once

#include <string>

namespace pdf::samples {

// One Letter page showing "Page 1", then drawing a form that shows "In the form" with the
// page's Helvetica, and a text field "name" whose appearance is a filled box; both the form's
// and the appearance's /Resources refer to one small stream.
std::string StreamResourcesPdf();

}  // namespace pdf::samples
