// Json: the small JSON writer behind --json.
//
// Principles of operation
//   Builds one object a command, values in insertion order, strings quoted
//   by JsonQuote (support/JsonQuote.h), so text that is not UTF-8 still gives
//   valid JSON. Just enough for our output; nothing is parsed.
//
// Threads: a value belongs to one thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/JsonQuote.h"

class CJson {
public:
    static CJson Object();
    static CJson Array();
    static CJson String(const std::string& text);
    static CJson Number(long long value);
    static CJson Bool(bool value);
    static CJson Null();

    // Objects: adds a member; arrays: appends (the key is ignored).
    CJson& Add(const std::string& key, CJson value);
    CJson& Push(CJson value);
    std::string Dump() const;

private:
    enum class Kind { Object, Array, Scalar };
    Kind m_kind = Kind::Scalar;
    std::string m_scalar;  // already encoded
    std::vector<std::pair<std::string, CJson>> m_members;
};
