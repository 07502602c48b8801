// A control's settings file (SaveConfig / LoadConfig) as a table of keys over a plain
// struct of its settings. The serial port's file is one table (channels/serial/
// serial_config.cpp), the IEC 62056-21 control's another (iec62056/iec_config.cpp); both
// save and load through the functions below.
//
// Each key is either a number, written in decimal in the setting's own width (so a
// character 0xFE is written as -2), or a text written as it is. Keys are written and read
// in table order. A missing key (or one with an empty number) reads as the key's default,
// or leaves the setting as it is where the key has none. A key may name a section read
// before its own, for files whose writers put it elsewhere; it is always written to its
// own section.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace kavlink::profile {

template <class S>
struct Key {
  std::string_view section;
  std::string_view key;
  // A number: the setting in its width, and the read value stored back in that width.
  int (*number)(const S&) = nullptr;
  void (*setNumber)(S&, int) = nullptr;
  std::optional<int> numberDefault;
  // A text.
  std::string (*text)(const S&) = nullptr;
  void (*setText)(S&, std::string) = nullptr;
  std::optional<std::string_view> textDefault;
  // Read from here first when it holds the key.
  std::string_view readFirst;
};

// A number key over a field of S, held as W in the file (int8_t for characters, int16_t
// for 16-bit settings, int32_t for the rest).
template <class W, auto Field, class S>
constexpr Key<S> numberKey(std::string_view section, std::string_view key, std::optional<int> byDefault,
                           std::string_view readFirst = {}) {
  Key<S> k{.section = section, .key = key, .numberDefault = byDefault, .readFirst = readFirst};
  k.number = [](const S& s) { return static_cast<int>(static_cast<W>(s.*Field)); };
  k.setNumber = [](S& s, int v) {
    using F = std::remove_cvref_t<decltype(s.*Field)>;
    s.*Field = static_cast<F>(static_cast<W>(v));
  };
  return k;
}

// A text key over a std::string field of S.
template <auto Field, class S>
constexpr Key<S> textKey(std::string_view section, std::string_view key, std::optional<std::string_view> byDefault) {
  Key<S> k{.section = section, .key = key, .textDefault = byDefault};
  k.text = [](const S& s) { return s.*Field; };
  k.setText = [](S& s, std::string v) { s.*Field = std::move(v); };
  return k;
}

namespace detail {
bool writeNumber(const std::string& file, std::string_view section, std::string_view key, int value);
bool writeText(const std::string& file, std::string_view section, std::string_view key, std::string_view value);
int readNumber(const std::string& file, std::string_view section, std::string_view readFirst, std::string_view key,
               int byDefault);
std::string readText(const std::string& file, std::string_view section, std::string_view readFirst,
                     std::string_view key, std::optional<std::string_view> byDefault, const std::string& current);
}  // namespace detail

// Writes every key; false when any of them could not be written (the rest are still tried).
template <class S>
bool saveKeys(const std::string& file, const S& settings, std::span<const Key<S>> keys) {
  bool all = true;
  for (const Key<S>& k : keys) {
    all &= k.number ? detail::writeNumber(file, k.section, k.key, k.number(settings))
                    : detail::writeText(file, k.section, k.key, k.text(settings));
  }
  return all;
}

// Reads every key into settings.
template <class S>
void loadKeys(const std::string& file, S& settings, std::span<const Key<S>> keys) {
  for (const Key<S>& k : keys) {
    if (k.number) {
      k.setNumber(settings, detail::readNumber(file, k.section, k.readFirst, k.key,
                                               k.numberDefault.value_or(k.number(settings))));
    } else {
      k.setText(settings, detail::readText(file, k.section, k.readFirst, k.key, k.textDefault, k.text(settings)));
    }
  }
}

}  // namespace kavlink::profile
