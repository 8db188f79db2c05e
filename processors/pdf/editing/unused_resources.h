// Removing the fonts and XObjects that no content of a page (its own or its forms') names,
// with qpdf's pruning, where that pruning is safe. qpdf copies a page's or form's /Resources
// before changing it (QPDFObjectHandle::shallowCopy, which refuses a stream), so a /Resources
// that refers to anything but a dictionary (readers ignore it, and qpdf writes it as it is)
// makes the pruning throw "stream objects cannot be cloned". Such a page keeps its resources
// as they are: nothing is lost, the output is only not as small. Use from one thread.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

namespace pdf::editing {

// Prunes every page of `pdf` whose resources and forms' resources are dictionaries (or
// absent); returns the number of pages left as they were. qpdf's failures pass as they are.
int RemoveUnusedResources(QPDF& pdf);

// The same for one page: false when it is left as it is. A page that shares its resources
// with others gets resource dictionaries of its own; the others keep theirs.
bool RemoveUnusedResources(QPDFPageObjectHelper& page);

// How many entries the resource dictionaries of `page` hold together (its own or inherited
// /Resources: fonts, XObjects, graphics states, ...), not counting those of its forms.
long long ResourceEntries(QPDFPageObjectHelper& page);

}  // namespace pdf::editing
