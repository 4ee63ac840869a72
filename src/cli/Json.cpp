#include "cli/Json.h"

#include <cstdio>

CJson CJson::Object() {
    CJson value;
    value.m_kind = Kind::Object;
    return value;
}

CJson CJson::Array() {
    CJson value;
    value.m_kind = Kind::Array;
    return value;
}

CJson CJson::String(const std::string& text) {
    CJson value;
    value.m_scalar = JsonQuote(text);
    return value;
}

CJson CJson::Number(long long number) {
    CJson value;
    value.m_scalar = std::to_string(number);
    return value;
}

CJson CJson::Bool(bool flag) {
    CJson value;
    value.m_scalar = flag ? "true" : "false";
    return value;
}

CJson CJson::Null() {
    CJson value;
    value.m_scalar = "null";
    return value;
}

CJson& CJson::Add(const std::string& key, CJson value) {
    m_members.emplace_back(key, std::move(value));
    return *this;
}

CJson& CJson::Push(CJson value) {
    return Add({}, std::move(value));
}

std::string CJson::Dump() const {
    if (m_kind == Kind::Scalar) {
        return m_scalar;
    }
    const bool isObject = m_kind == Kind::Object;
    std::string out = isObject ? "{" : "[";
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        out += i == 0 ? "" : ",";
        if (isObject) {
            out += JsonQuote(m_members[i].first) + ":";
        }
        out += m_members[i].second.Dump();
    }
    return out + (isObject ? "}" : "]");
}
