#pragma once
// The error convention of the core's functions that return bool: on failure
// they say why in one line through an optional std::string* and return false.
//
//     if (!file.Open(strPath)) {
//         return Fail(pError, "cannot open \"" + strPath + "\"");
//     }

#include <string>

// Stores strWhy into *pError when pError is given; returns false.
inline bool Fail(std::string* pError, const std::string& strWhy) {
    if (pError) {
        *pError = strWhy;
    }
    return false;
}
