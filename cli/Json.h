#pragma once
// A small writer for the one-object JSON documents that --json prints.
// Numbers are written with the shortest text that reads back to the same
// double; non-finite numbers (which JSON cannot carry) become null.

#include <cstdint>
#include <string>

class CJsonWriter {
public:
    CJsonWriter& BeginObject(const char* szKey = nullptr);
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray(const char* szKey = nullptr);
    CJsonWriter& EndArray();

    CJsonWriter& Value(const char* szKey, const std::string& strValue);
    CJsonWriter& Value(const char* szKey, const char* szValue) {
        return Value(szKey, std::string(szValue));
    }
    CJsonWriter& Value(const char* szKey, double dValue);
    CJsonWriter& Value(const char* szKey, int64_t nValue);
    CJsonWriter& Value(const char* szKey, uint64_t nValue) {
        return Value(szKey, static_cast<int64_t>(nValue));
    }
    CJsonWriter& Value(const char* szKey, int32_t nValue) {
        return Value(szKey, static_cast<int64_t>(nValue));
    }
    CJsonWriter& Value(const char* szKey, uint32_t nValue) {
        return Value(szKey, static_cast<int64_t>(nValue));
    }
    CJsonWriter& Value(const char* szKey, bool bValue);
    CJsonWriter& Null(const char* szKey);

    const std::string& Text() const { return m_strText; }

private:
    void Key(const char* szKey);
    std::string m_strText;
    bool m_bNeedComma = false;
};

std::string JsonQuote(const std::string& strText);
std::string JsonNumber(double dValue);
