#include "processors/pdf/xml_text.h"

std::string XmlSafeText(std::string text) {
  for (char& c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
      c = ' ';
  }
  return text;
}
