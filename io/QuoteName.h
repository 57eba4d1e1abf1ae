#pragma once
// File names in messages. A name may hold anything but '/' and NUL: a newline
// would split a one-line error, an escape sequence would restyle the terminal.

#include <string>

// The name in double quotes ("clip.qcf") when it is plain printable UTF-8;
// otherwise quoted as a shell would, with the unprintable bytes escaped
// ($'two\nlines.qcf', $'\x1b[31mred.qcf').
std::string QuoteName(const std::string& strName);
