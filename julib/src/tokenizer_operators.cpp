// The scanner operator table, read by both scanners: a one-character
// operator is its character code; a pair is (first << 8) | second and
// follows the entry of its first character. The closing 0 ends the table.

#include "julib/tokenizer.h"

#include <cstdint>

const uint32_t juScannerOperators[44] = {
    '?',
    ',',
    '(',
    ')',
    '.',
    '=',    0x3D3D /* == */, 0x3D2A /* =* */, 0x3D3C /* =< */, 0x3D3E /* => */,
    '+',    0x2B2B /* ++ */,
    '&',    0x2626 /* && */,
    '|',    0x7C7C /* || */,
    '-',    0x2D2D /* -- */,
    '/',    0x2F2F /* // */,
    '*',    0x2A2A /* ** */, 0x2A3D /* *= */,
    '>',    0x3E3D /* >= */,
    '<',    0x3C3D /* <= */, 0x3C3E /* <> */,
    '!',    0x213D /* != */, 0x213C /* !< */, 0x213E /* !> */,
    ';',
    ':',
    '{',
    '}',
    '$',
    '#',
    '%',
    '@',
    '"',
    '\'',
    '`',
    0,
};
