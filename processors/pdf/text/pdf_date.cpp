#include "processors/pdf/text/pdf_date.h"

#include <cstdio>
#include <vector>

namespace pdf::text {

namespace {

// A date as far as it was given: `parts` of year, month, day, hour, minute, second.
struct Date {
  int values[6] = {0, 1, 1, 0, 0, 0};
  int parts = 0;
  bool zoned = false;
  int zoneMinutes = 0;  // east of UTC
};

bool Digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size())
    return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9')
      return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool LeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool InRange(const Date& date) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int* v = date.values;
  int month = v[1];
  if (month < 1 || month > 12)
    return false;
  int days = kDays[month - 1] + (month == 2 && LeapYear(v[0]) ? 1 : 0);
  return v[2] >= 1 && v[2] <= days && v[3] <= 23 && v[4] <= 59 && v[5] <= 59 &&
         date.zoneMinutes > -24 * 60 && date.zoneMinutes < 24 * 60;
}

std::optional<Date> ParseIso(const std::string& text) {
  Date date;
  std::size_t at = 0;
  if (!Digits(text, 0, 4, date.values[0]))
    return std::nullopt;
  at = 4;
  date.parts = 1;
  // "-MM", "-DD", "Thh", ":mm", ":ss": each part comes with its separator.
  const char separators[] = {'-', '-', 'T', ':', ':'};
  for (int part = 1; part < 6 && at < text.size(); ++part) {
    char separator = text[at];
    if (separator != separators[part - 1] && !(part == 3 && separator == 't'))
      break;
    if (!Digits(text, at + 1, 2, date.values[part]))
      return std::nullopt;
    at += 3;
    date.parts = part + 1;
  }
  // A time needs its minutes: "2026-12-09T14" is not a date.
  if (date.parts == 4)
    return std::nullopt;
  if (date.parts == 6 && at < text.size() && (text[at] == '.' || text[at] == ',')) {
    std::size_t digits = at + 1;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
      ++digits;
    if (digits == at + 1)
      return std::nullopt;
    at = digits;
  }
  if (date.parts >= 5 && at < text.size()) {
    if (text[at] == 'Z' || text[at] == 'z') {
      date.zoned = true;
      ++at;
    } else if (text[at] == '+' || text[at] == '-') {
      int hours = 0;
      int minutes = 0;
      if (!Digits(text, at + 1, 2, hours) || at + 3 >= text.size() || text[at + 3] != ':' ||
          !Digits(text, at + 4, 2, minutes) || minutes > 59)
        return std::nullopt;
      date.zoned = true;
      date.zoneMinutes = (text[at] == '-' ? -1 : 1) * (hours * 60 + minutes);
      at += 6;
    }
  }
  if (at != text.size() || !InRange(date))
    return std::nullopt;
  return date;
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string Year(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04d", value);
  return text;
}

std::string FormatIso(const Date& date) {
  std::string result = Year(date.values[0]);
  const char* separators[] = {"-", "-", "T", ":", ":"};
  for (int part = 1; part < date.parts; ++part)
    result += separators[part - 1] + TwoDigits(date.values[part]);
  if (date.zoned) {
    if (date.zoneMinutes == 0) {
      result += "Z";
    } else {
      int minutes = date.zoneMinutes < 0 ? -date.zoneMinutes : date.zoneMinutes;
      result += (date.zoneMinutes < 0 ? "-" : "+") + TwoDigits(minutes / 60) + ":" +
                TwoDigits(minutes % 60);
    }
  }
  return result;
}

}  // namespace

std::optional<std::string> IsoToPdfDate(const std::string& iso) {
  std::optional<Date> date = ParseIso(iso);
  if (!date)
    return std::nullopt;
  std::string result = "D:" + Year(date->values[0]);
  for (int part = 1; part < date->parts; ++part)
    result += TwoDigits(date->values[part]);
  if (date->zoned) {
    if (date->zoneMinutes == 0) {
      result += "Z";
    } else {
      int minutes = date->zoneMinutes < 0 ? -date->zoneMinutes : date->zoneMinutes;
      result += (date->zoneMinutes < 0 ? "-" : "+") + TwoDigits(minutes / 60) + "'" +
                TwoDigits(minutes % 60) + "'";
    }
  }
  return result;
}

std::optional<std::string> NormalizedIsoDate(const std::string& iso) {
  std::optional<Date> date = ParseIso(iso);
  if (!date)
    return std::nullopt;
  return FormatIso(*date);
}

std::optional<std::string> PdfDateToIso(const std::string& pdf) {
  std::size_t at = pdf.compare(0, 2, "D:") == 0 ? 2 : 0;
  Date date;
  if (!Digits(pdf, at, 4, date.values[0]))
    return std::nullopt;
  at += 4;
  date.parts = 1;
  for (int part = 1; part < 6 && at < pdf.size() && pdf[at] >= '0' && pdf[at] <= '9'; ++part) {
    if (!Digits(pdf, at, 2, date.values[part]))
      return std::nullopt;
    at += 2;
    date.parts = part + 1;
  }
  // ISO 8601 has no hour without minutes; such a date keeps its day.
  if (date.parts == 4)
    date.parts = 3;
  if (at < pdf.size() && (pdf[at] == 'Z' || pdf[at] == '+' || pdf[at] == '-')) {
    char sign = pdf[at++];
    int hours = 0;
    int minutes = 0;
    if (at < pdf.size() && Digits(pdf, at, 2, hours)) {
      at += 2;
      if (at < pdf.size() && pdf[at] == '\'')
        ++at;
      if (at < pdf.size() && Digits(pdf, at, 2, minutes)) {
        at += 2;
        if (at < pdf.size() && pdf[at] == '\'')
          ++at;
      }
    } else if (sign != 'Z') {
      return std::nullopt;
    }
    if (minutes > 59)
      return std::nullopt;
    // A zone only means something with a time.
    date.zoned = date.parts >= 5;
    date.zoneMinutes = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
  }
  if (at != pdf.size() || !InRange(date))
    return std::nullopt;
  return FormatIso(date);
}

}  // namespace pdf::text
