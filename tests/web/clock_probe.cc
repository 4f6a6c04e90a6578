// Prints what the C runtime's local time makes of a table of times in the
// zone named: mktime over times the clocks skip, show twice or show once,
// with each tm_isdst, then localtime over a year. Built natively and in the
// web build; differential.test.mjs holds the two outputs equal.
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

void Make(int year, int month, int day, int hour, int minute, int dst) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_isdst = dst;
  const std::time_t t = std::mktime(&tm);
  char text[64];
  std::strftime(text, sizeof(text), "%F %T %Z", &tm);
  std::printf("%04d-%02d-%02d %02d:%02d %2d -> %lld %s %d %ld %d %d\n", year, month, day, hour,
              minute, dst, static_cast<long long>(t), text, tm.tm_isdst, tm.tm_gmtoff, tm.tm_wday,
              tm.tm_yday);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  setenv("TZ", argv[1], 1);
  tzset();
  // Both changes of Europe's, North America's and the south's years.
  const int days[][3] = {{2026, 3, 29}, {2026, 10, 25}, {2026, 3, 8},  {2026, 11, 1},
                         {2026, 4, 5},  {2026, 10, 4},  {2024, 2, 29}, {2026, 12, 31}};
  for (const auto& day : days) {
    for (int dst = -1; dst <= 1; ++dst) {
      for (int hour = 0; hour < 4; ++hour) Make(day[0], day[1], day[2], hour, 30, dst);
    }
  }
  // Fields out of range, normalised.
  Make(2026, 3, 27, 50, 30, -1);
  Make(2026, 3, 31, 2, 30 + 3 * 1440, -1);
  Make(2026, 13, 1, 0, 0, -1);
  for (std::time_t t = 1767225600; t < 1767225600 + 366 * 86400; t += 7 * 86400 + 5 * 3600 + 61) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof(text), "%F %T %Z", &tm);
    std::printf("%lld %s %d %ld %d\n", static_cast<long long>(t), text, tm.tm_isdst, tm.tm_gmtoff,
                tm.tm_yday);
  }
  return 0;
}
