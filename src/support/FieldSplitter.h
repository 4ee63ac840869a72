// Field splitter: breaks a line of charger text into fields.
//
// Principles of operation
//   SplitFields returns a heap array of separately allocated strings ended by
//   a null entry; the caller counts it with CountFields and releases it with
//   FreeFields. A run of delimiters separates two fields as one delimiter
//   does; a field that begins with a double quote runs to the next double
//   quote and may hold delimiters. With bit 0 of the flags (kKeepEmptyFields)
//   each delimiter after a field separates on its own, so empty fields appear.
//   The input is never changed. When memory runs out the result is null and
//   everything allocated so far is released.
//
// Threads: pure functions.
#pragma once

constexpr unsigned kKeepEmptyFields = 1U;

char** SplitFields(const char* text, const char* delimiters, unsigned flags);
// Number of strings before the null entry; 0 for a null array.
int CountFields(char** fields);
// Releases every string and the array; accepts null. Always 0.
int FreeFields(char** fields);
