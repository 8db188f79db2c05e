// A PDF content stream scanned token by token without building objects (a hostile stream may
// hold millions of tokens): how many operators it runs, how many bytes of strings it holds
// (the text it shows: one Tj may show a million glyphs), which names it draws with Do, and
// the state it leaves behind, so that content added after it can first undo that state:
// graphics states saved and not restored (or restored more often than saved), a text object
// or marked content left open, and a string, array, dictionary or inline image left
// unfinished, which would swallow whatever follows. Pure functions of the bytes.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace pdf::text {

struct ContentScan {
  long long operators = 0;                 // every operator, Do included
  long long stringBytes = 0;               // the bytes of its strings, roughly (escapes count)
  std::map<std::string, long long> drawn;  // the name before each Do ("/Fm1") and how often
  long long unmatchedRestores = 0;         // Q with no q of this content to restore
  long long openSaves = 0;                 // q not restored by the end
  bool openText = false;                   // BT without its ET
  long long openMarked = 0;                // BMC / BDC without their EMC
  long long openCompatibility = 0;         // BX without its EX
  // What ends the token left unfinished at the end, so that the next byte starts a new one:
  // ")" for each open string level, ">" for a hex string, "EI" for inline image data, "]"
  // and ">>" for open arrays and dictionaries. Empty when the content ends between tokens.
  std::string unfinished;
};

// Scans `content` (decoded). Never fails: bytes that are no valid token are skipped as a
// reader would skip them.
ContentScan ScanContent(std::string_view content);

// The content to put before a page's own content so that the page's unmatched Q operators
// restore states saved here and not the page's surroundings: one "q" more than `scan` has
// unmatched restores.
std::string IsolatingPrefix(const ContentScan& scan);

// The content to put after the page's own content, once IsolatingPrefix was put before it,
// that finishes what the page left unfinished and returns to the graphics state in force
// before the prefix: the unfinished token closed, the text object, marked content and
// compatibility sections ended, and every state saved restored.
std::string IsolatingSuffix(const ContentScan& scan);

}  // namespace pdf::text
