#include "support/FieldSplitter.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsDelimiter(char c, const char* delimiters) {
    return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

const char* SkipDelimiters(const char* p, const char* delimiters) {
    while (IsDelimiter(*p, delimiters)) {
        ++p;
    }
    return p;
}

// Grows the array by one string; on failure releases the string and leaves
// the array to the caller.
bool Append(char**& fields, int& count, const char* start, std::size_t length) {
    char* field = static_cast<char*>(std::malloc(length + 1));
    if (field == nullptr) {
        return false;
    }
    std::memcpy(field, start, length);
    field[length] = '\0';
    void* grown = std::realloc(static_cast<void*>(fields), sizeof(char*) * (count + 2));
    if (grown == nullptr) {
        std::free(field);
        return false;
    }
    fields = static_cast<char**>(grown);
    fields[count++] = field;
    fields[count] = nullptr;
    return true;
}

// Scans one field at p; sets its content and returns where it ended.
const char* ScanField(const char* p, const char* delimiters, const char*& start,
                      std::size_t& length) {
    if (*p == '"') {
        start = p + 1;
        const char* close = std::strchr(start, '"');
        const char* end = close != nullptr ? close : start + std::strlen(start);
        length = static_cast<std::size_t>(end - start);
        return close != nullptr ? close + 1 : end;
    }
    start = p;
    while (*p != '\0' && !IsDelimiter(*p, delimiters)) {
        ++p;
    }
    length = static_cast<std::size_t>(p - start);
    return p;
}

}  // namespace

char** SplitFields(const char* text, const char* delimiters, unsigned flags) {
    const bool keepEmpty = (flags & kKeepEmptyFields) != 0;
    char** fields = nullptr;
    int count = 0;
    const char* p = SkipDelimiters(text, delimiters);
    do {
        const char* start = nullptr;
        std::size_t length = 0;
        p = ScanField(p, delimiters, start, length);
        if (!Append(fields, count, start, length)) {
            FreeFields(fields);
            return nullptr;
        }
        if (keepEmpty && IsDelimiter(*p, delimiters)) {
            ++p;
            // A delimiter that ends the text still yields no field.
            if (*p == '\0' || *SkipDelimiters(p, delimiters) == '\0') {
                break;
            }
        } else {
            p = SkipDelimiters(p, delimiters);
        }
    } while (*p != '\0');
    return fields;
}

int CountFields(char** fields) {
    int count = 0;
    while (fields != nullptr && fields[count] != nullptr) {
        ++count;
    }
    return count;
}

int FreeFields(char** fields) {
    if (fields == nullptr) {
        return 0;
    }
    for (char** p = fields; *p != nullptr; ++p) {
        std::free(*p);
    }
    std::free(static_cast<void*>(fields));
    return 0;
}
