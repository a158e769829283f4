// Number text: FormatNumber, ParseNumber, dialog number reading and writing, AppendBounded.
#include "core/number_text.h"

#include <cstdint>

#include "platform/ui.h"

char textBuffer[TEXT_BUFFER_SIZE];

namespace {
constexpr double TWO_POW_63 = 9223372036854775808.0;
constexpr double TWO_POW_64 = 18446744073709551616.0;
// Exponents beyond this already give infinity or zero; larger ones are not accumulated further.
constexpr int EXPONENT_CAP = 400;
}  // namespace

int FormatNumber(double value, int decimals, int maxLength, char* destination, bool trim) {
    if (decimals < 0) decimals = 0;
    if (maxLength < 0) maxLength = 0;
    bool negative = !(value >= 0.0);  // NaN counts as negative, -0 does not
    double magnitude = negative ? -value : value;
    if (!(magnitude <= TWO_POW_63)) magnitude = TWO_POW_63;  // also NaN

    double term = 0.1;
    for (int i = 0; i < decimals; ++i) term *= 0.1;
    magnitude += term * 5.0;
    for (int i = 0; i < decimals; ++i) magnitude *= 10.0;
    uint64_t n = (magnitude < TWO_POW_64) ? static_cast<uint64_t>(magnitude) : 9223372036854775808ull;

    int digits = 0;
    for (uint64_t t = n; t != 0; t /= 10) ++digits;
    int length = digits > decimals + 1 ? digits : decimals + 1;
    if (negative) ++length;
    if (decimals > 0) ++length;
    if (length > maxLength) length = maxLength;

    destination[length] = '\0';
    int first = 0;
    if (negative && length > 0) {
        destination[0] = '-';
        first = 1;
    }
    int pointPosition = decimals > 0 ? length - decimals - 1 : -1;
    for (int position = length - 1; position >= first; --position) {
        if (position == pointPosition) {
            destination[position] = '.';
        } else {
            destination[position] = static_cast<char>('0' + n % 10);
            n /= 10;
        }
    }

    if (trim && decimals > 0 && pointPosition >= first) {
        while (length > pointPosition && (destination[length - 1] == '0' || destination[length - 1] == '.')) {
            --length;
        }
        destination[length] = '\0';
    }
    return length;
}

double ParseNumber(const char* text, int maxLength) {
    if (maxLength <= 0 || !text) return 0.0;
    double value = 0.0, fractionScale = 1.0;
    int mantissaDigits = 0, exponentValue = 0, exponentDigits = 0;
    bool mantissaNegative = false, inExponent = false, exponentNegative = false, beforePoint = true;
    bool failed = false;

    for (int i = 0; i < maxLength; ++i) {
        char ch = text[i];
        if (ch == '\0') break;
        if (ch == ' ' || ch == ',') {
            // ignored
        } else if (ch == '-') {
            if (!inExponent) {
                if (mantissaNegative || mantissaDigits > 0) {
                    failed = true;
                    break;
                }
                mantissaNegative = true;
                continue;  // the mantissa sign is not followed by the digit-count check
            }
            if (exponentNegative || mantissaDigits == 0 || exponentDigits > 0) {
                failed = true;
                break;
            }
            exponentNegative = true;
        } else if (ch == '.') {
            if (!beforePoint) {
                failed = true;
                break;
            }
            beforePoint = false;
        } else if (ch >= '0' && ch <= '9') {
            int digit = ch - '0';
            if (inExponent) {
                if (exponentValue < EXPONENT_CAP) exponentValue = exponentValue * 10 + digit;
                ++exponentDigits;
            } else {
                ++mantissaDigits;
                if (beforePoint) {
                    value = value * 10.0 + digit;
                } else {
                    fractionScale *= 0.1;
                    value += digit * fractionScale;
                }
            }
        } else if (ch == 'E' || ch == 'e') {
            if (inExponent) {
                failed = true;
                break;
            }
            inExponent = true;
        } else {
            if (mantissaDigits > 0) {
                failed = true;
                break;
            }
            continue;
        }
        if (mantissaDigits > 13) break;
    }

    if (failed) {
        ShowMessage("String not a number,\nconversion can be wrong!", MB_OK | MB_ICONEXCLAMATION);
        return value;
    }
    if (mantissaNegative) value = -value;
    if (exponentValue > EXPONENT_CAP) exponentValue = EXPONENT_CAP;
    for (int i = 0; i < exponentValue; ++i) value *= exponentNegative ? 0.1 : 10.0;
    return value;
}

namespace {
// A number read from a dialog within its limits (NaN gives the minimum).
double ClampRead(double parsed, double minimum, double maximum) {
    double result = parsed >= minimum ? parsed : minimum;
    return result > maximum ? maximum : result;
}
}  // namespace

double ReadDialogNumber(int dialog, int control, double minimum, double maximum) {
    GetDialogItemText(dialog, control, textBuffer, TEXT_BUFFER_SIZE);
    return ClampRead(ParseNumber(textBuffer, TEXT_BUFFER_SIZE), minimum, maximum);
}

void WriteDialogNumber(int dialog, int control, double value, uint32_t decimals) {
    char text[32];
    int d = decimals > 20 ? 20 : static_cast<int>(decimals);
    FormatNumber(value, d, 25, text, true);
    SetDialogItemText(dialog, control, text);
}

double ShownDialogNumber(double value, uint32_t decimals, double minimum, double maximum) {
    char text[32];
    int length = FormatNumber(value, decimals > 20 ? 20 : static_cast<int>(decimals), 25, text, true);
    return ClampRead(ParseNumber(text, length), minimum, maximum);
}

int AppendBounded(char* destination, const char* source, int destinationLength, int sourceLength,
                  int capacity) {
    int k = 0;
    while (k < destinationLength && destination[k] != '\0' && k < capacity) ++k;
    int j = 0;
    while (j < sourceLength && source[j] != '\0' && k < capacity) destination[k++] = source[j++];
    destination[k] = '\0';
    return k;
}
