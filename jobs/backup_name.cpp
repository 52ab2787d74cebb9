// Backup names by VERSION_CONTROL: NAME~ or NAME.~N~.
#include "jobs/backup_name.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace {

// The ways of VERSION_CONTROL, by GNU's names; a value may be cut short
// where that leaves no doubt, as GNU's tools take it.
enum class Control { kNone, kSimple, kExisting, kNumbered, kUnknown, kAmbiguous };

struct ControlName {
  const char* name;
  Control control;
};
constexpr ControlName kControlNames[] = {
    {"none", Control::kNone},         {"off", Control::kNone},
    {"simple", Control::kSimple},     {"never", Control::kSimple},
    {"existing", Control::kExisting}, {"nil", Control::kExisting},
    {"numbered", Control::kNumbered}, {"t", Control::kNumbered}};

Control ControlOf(const char* version_control) {
  std::string value = version_control ? version_control : "";
  // Unset or empty: numbered backups.
  if (value.empty()) return Control::kNumbered;
  Control found = Control::kUnknown;
  for (const ControlName& known : kControlNames) {
    if (value == known.name) return known.control;
    if (std::string(known.name).compare(0, value.size(), value) != 0) continue;
    found =
        found == Control::kUnknown || found == known.control ? known.control : Control::kAmbiguous;
  }
  return found;
}

// Numbers of backups as their digits, of any length, without leading zeros.
bool BackupNumberBelow(const std::string& one, const std::string& other) {
  return one.size() != other.size() ? one.size() < other.size() : one < other;
}

std::string OneMore(std::string digits) {
  size_t at = digits.size();
  while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
  if (at == 0) return "1" + digits;
  digits[at - 1]++;
  return digits;
}

// The highest N of NAME.~N~ in a folder that cannot be listed, found by
// asking for names: doubling until one is missing, then halving the gap.
// In a row without gaps that is the highest; otherwise a free number.
std::string ProbedHighest(const std::string& path) {
  auto there = [&path](unsigned long long number) {
    std::error_code error;
    std::filesystem::file_status seen =
        std::filesystem::symlink_status(path + ".~" + std::to_string(number) + "~", error);
    return std::filesystem::exists(seen);
  };
  if (!there(1)) return "";
  unsigned long long low = 1, high = 2;
  while (high < (1ULL << 62) && there(high)) {
    low = high;
    high *= 2;
  }
  while (high - low > 1) {
    unsigned long long middle = low + (high - low) / 2;
    (there(middle) ? low : high) = middle;
  }
  return std::to_string(low);
}

}  // namespace

// GNU's rules: VERSION_CONTROL none or off keeps nothing; simple or never
// keeps NAME~; numbered or t, and an unset value, NAME.~N~ with N one above
// the highest there; existing or nil numbered when one is there. (Other
// values are refused at start-up: VersionControlProblem.)
std::string BackupName(const std::string& path, const char* version_control) {
  Control control = ControlOf(version_control);
  if (control == Control::kNone) return "";
  if (control == Control::kSimple) return path + "~";
  std::filesystem::path file(path);
  std::string base = file.filename().string();
  std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
  std::string highest;
  std::error_code error;
  std::filesystem::directory_iterator entry(folder, error);
  for (std::filesystem::directory_iterator end; !error && entry != end; entry.increment(error)) {
    std::string name = entry->path().filename().string();
    if (name.size() < base.size() + 4 || name.compare(0, base.size() + 2, base + ".~") != 0 ||
        name.back() != '~')
      continue;
    std::string digits = name.substr(base.size() + 2, name.size() - base.size() - 3);
    if (digits.empty() || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    if (BackupNumberBelow(highest, digits)) highest = digits;
  }
  // A folder this user may search but not read.
  if (error) highest = ProbedHighest(path);
  if (control == Control::kExisting && highest.empty()) return path + "~";
  return path + ".~" + OneMore(highest.empty() ? "0" : highest) + "~";
}

bool NamesFileOrBackup(const std::string& name, const std::string& file) {
  std::error_code error;
  auto spelt_out = [&error](const std::string& path) {
    std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : std::filesystem::weakly_canonical(full, error).string();
  };
  std::string path = spelt_out(name);
  std::string of = error ? file : spelt_out(file);
  if (error || path.compare(0, of.size(), of) != 0) return false;
  std::string tail = path.substr(of.size());
  if (tail.empty() || tail == "~") return true;
  // .~N~, N digits without a leading zero
  return tail.size() >= 4 && tail.compare(0, 2, ".~") == 0 && tail.back() == '~' &&
         tail[2] != '0' && tail.find_first_not_of("0123456789", 2) == tail.size() - 1;
}

std::string VersionControlProblem(const char* version_control) {
  Control control = ControlOf(version_control);
  if (control != Control::kUnknown && control != Control::kAmbiguous) return "";
  return std::string("VERSION_CONTROL=") + version_control + " is " +
         (control == Control::kAmbiguous ? "ambiguous" : "not known") +
         "; the values are none or off, simple or never, existing or nil, numbered or t";
}
