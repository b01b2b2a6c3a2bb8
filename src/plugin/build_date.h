// The build's date and time in the C library's asctime form ("Mon Dec  7 08:11:49 2026"), worked out at
// compile time from __DATE__ and __TIME__ (which honour SOURCE_DATE_EPOCH for reproducible builds).
#pragma once

#include <array>
#include <string_view>

namespace build_date {

constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr std::string_view kWeekdays = "SunMonTueWedThuFriSat";

constexpr int Digit(char c) { return c == ' ' ? 0 : c - '0'; }

// Day of the week, 0 for Sunday, of a Gregorian date (Sakamoto's method).
constexpr int Weekday(int year, int month, int day) {
  constexpr int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

// date is "Mmm dd yyyy" with the day padded by a space; time is "hh:mm:ss".
constexpr std::array<char, 25> Format(std::string_view date, std::string_view time) {
  const int month = static_cast<int>(kMonths.find(date.substr(0, 3)) / 3) + 1;
  const int day = Digit(date[4]) * 10 + Digit(date[5]);
  const int year = Digit(date[7]) * 1000 + Digit(date[8]) * 100 + Digit(date[9]) * 10 + Digit(date[10]);
  const std::string_view weekday =
      kWeekdays.substr(static_cast<std::size_t>(Weekday(year, month, day)) * 3, 3);
  std::array<char, 25> out{};
  std::size_t n = 0;
  for (char c : weekday) out[n++] = c;
  out[n++] = ' ';
  for (char c : date.substr(0, 6)) out[n++] = c;
  out[n++] = ' ';
  for (char c : time) out[n++] = c;
  out[n++] = ' ';
  for (char c : date.substr(7, 4)) out[n++] = c;
  out[n] = '\0';
  return out;
}

}  // namespace build_date
