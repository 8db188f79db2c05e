// Turning the pages of a flat OpenDocument file (.fodt, .fods, .fodp, .fodg, as LibreOffice
// saves them) landscape. LibreOffice's PDF export has no option for the paper's orientation
// and LibreOfficeKit no access to page styles, so a worker asked for landscape saves the
// document it loaded in its own flat format, turns the page layouts there and loads the
// result. Pure function of the text.
#pragma once

#include <string>

namespace pdf::office {

// A paper's size as ODF writes lengths ("8.5in").
struct PaperSize {
  std::string width;
  std::string height;
};

// The paper LibreOffice gives a page layout that states no size: its default for the
// locale the engine loads documents in (en-US), US Letter.
inline const PaperSize kUnstatedPaper{"8.5in", "11in"};

// Turns every page layout of `flatOdf` (its style:page-layout-properties elements) whose
// page is taller than wide: width and height swapped, print orientation "landscape". A
// layout that states neither width nor height (as a spreadsheet imported without a paper
// size) is taken to be `unstated`. Layouts already landscape, or with one length only or
// one in a unit it does not know (it knows cm, mm, in, pt, pc, px), are left as they are.
// Returns how many were turned.
int TurnPageLayoutsLandscape(std::string& flatOdf, const PaperSize& unstated = kUnstatedPaper);

}  // namespace pdf::office
