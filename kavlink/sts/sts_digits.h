// Meter numbers and PANs with their Luhn check digits, and the grouped display of a token.
#pragma once

#include <string>
#include <string_view>

namespace kavlink::sts {

// Luhn check digit of a decimal text: the rightmost digit and every second one leftward are
// doubled (a doubled value above 9 counts as the sum of its digits).
char luhnCheckDigit(std::string_view digits);

// The 10-digit meter number (padded or cut on the left) with its check digit appended.
// Non-decimal text raises StsArgumentError.
std::string meterNumberWithCheck(std::string_view mid10);

// "600727", the 11-digit meter number (padded or cut on the left) and the check digit: 18
// digits. Non-decimal text raises StsArgumentError.
std::string panWithCheck(std::string_view mid11);

// The first 20 characters of a token text (up to its first zero character), left-filled with
// "0" when shorter, in five groups of four separated by blanks.
std::string formatTokenText(std::string_view token);

}  // namespace kavlink::sts
