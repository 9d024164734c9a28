#pragma once

// The digits of the mail's transfer encodings: hex for quoted-printable,
// percent-encoded header values and encoded words; base64's alphabet.

namespace triage {

// 0..15, or -1 for a character that is no hex digit.
constexpr int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// 0..63, or -1 for a character outside the base64 alphabet (padding included).
constexpr int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace triage
