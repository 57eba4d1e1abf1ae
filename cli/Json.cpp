#include "cli/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::string JsonQuote(const std::string& strText) {
    std::string out = "\"";
    for (unsigned char c : strText) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double dValue) {
    if (!std::isfinite(dValue)) {
        return "null";
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, dValue);
    return std::string(buf, res.ptr);
}

void CJsonWriter::Key(const char* szKey) {
    if (m_bNeedComma) {
        m_strText += ',';
    }
    if (szKey) {
        m_strText += JsonQuote(szKey);
        m_strText += ':';
    }
    m_bNeedComma = true;
}

CJsonWriter& CJsonWriter::BeginObject(const char* szKey) {
    Key(szKey);
    m_strText += '{';
    m_bNeedComma = false;
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    m_strText += '}';
    m_bNeedComma = true;
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray(const char* szKey) {
    Key(szKey);
    m_strText += '[';
    m_bNeedComma = false;
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    m_strText += ']';
    m_bNeedComma = true;
    return *this;
}

CJsonWriter& CJsonWriter::Value(const char* szKey, const std::string& strValue) {
    Key(szKey);
    m_strText += JsonQuote(strValue);
    return *this;
}

CJsonWriter& CJsonWriter::Value(const char* szKey, double dValue) {
    Key(szKey);
    m_strText += JsonNumber(dValue);
    return *this;
}

CJsonWriter& CJsonWriter::Value(const char* szKey, int64_t nValue) {
    Key(szKey);
    m_strText += std::to_string(nValue);
    return *this;
}

CJsonWriter& CJsonWriter::Value(const char* szKey, bool bValue) {
    Key(szKey);
    m_strText += bValue ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null(const char* szKey) {
    Key(szKey);
    m_strText += "null";
    return *this;
}
