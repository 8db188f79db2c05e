// A page's own resources, for operations that add a font, a graphics state or a form to a
// page. Resources a page inherits from its page tree are copied onto the page first, so that
// the change stays with this page and no other page that shares the tree sees it. Use from
// one thread.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

namespace pdf::editing {

// The sub-dictionary `category` ("/Font", "/XObject", ...) of `page`'s resource dictionary,
// made where missing, as is the resource dictionary, which `resources` is set to. qpdf's
// own exceptions pass through when the objects cannot be changed.
QPDFObjectHandle OwnResourceCategory(QPDFPageObjectHelper& page, const std::string& category,
                                     QPDFObjectHandle& resources);

}  // namespace pdf::editing
