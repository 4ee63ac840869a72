// The --json writer: whatever text a charger or a file name holds, and
// whatever type a value has, a JSON reader gets it back unchanged.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/Json.h"

namespace {

TEST(JsonWriter, EveryCharacterAndTypeSurvivesARoundTrip) {
    std::string ascii;
    for (int c = 1; c < 128; ++c) {
        ascii += static_cast<char>(c);
    }
    const std::string utf8 = "Ladegerät 5 µF";
    CJson array = CJson::Array();
    array.Push(CJson::Number(-12)).Push(CJson::Bool(false)).Push(CJson::Null());
    CJson root = CJson::Object();
    root.Add(ascii, CJson::String(ascii))
        .Add("z", CJson::String(utf8))
        .Add("a", std::move(array))
        .Add("empty", CJson::Object())
        .Add("big", CJson::Number(1LL << 40));
    const std::string dumped = root.Dump();
    for (char c = 1; c < 0x20; ++c) {
        EXPECT_EQ(dumped.find(c), std::string::npos) << "raw control byte " << int(c);
    }
    // Text above 127 is passed through, not escaped byte by byte.
    EXPECT_EQ(JsonQuote(utf8), "\"" + utf8 + "\"");
    EXPECT_LT(dumped.find("\"z\""), dumped.find("\"a\"")) << "insertion order: " << dumped;

    QJsonParseError error{};
    const QJsonObject object =
        QJsonDocument::fromJson(QByteArray::fromStdString(dumped), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << dumped;
    EXPECT_EQ(object.size(), 5);
    EXPECT_EQ(object[QString::fromStdString(ascii)].toString().toStdString(), ascii);
    EXPECT_EQ(object["z"].toString(), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(object["a"].toArray(), (QJsonArray{-12, false, QJsonValue()}));
    EXPECT_EQ(object["empty"], QJsonObject());
    EXPECT_EQ(object["big"].toInteger(), 1LL << 40);
}

}  // namespace

// A name that is not UTF-8 still gives valid JSON: each stray byte becomes
// U+FFFD, and well-formed sequences around it stay as they are.
TEST(JsonWriter, BytesThatAreNotUtf8BecomeTheReplacementCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"bad\xff.bin", "bad\\ufffd.bin"},
        {"Ger\xe4t", "Ger\\ufffdt"},                           // Latin-1 ä
        {"\xc3", "\\ufffd"},                                   // cut short at the end
        {"\xc0\xaf", "\\ufffd\\ufffd"},                        // overlong /
        {"\xe0\x80\xaf", "\\ufffd\\ufffd\\ufffd"},             // overlong / in three bytes
        {"\xed\xa0\x80", "\\ufffd\\ufffd\\ufffd"},             // a surrogate
        {"\xf4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // above U+10FFFF
        {"\xe2\x82\xac\x80\xf0\x9f\x94\x8b", "\xe2\x82\xac\\ufffd\xf0\x9f\x94\x8b"},
    };
    for (const auto& [text, escaped] : cases) {
        EXPECT_EQ(JsonQuote(text), "\"" + escaped + "\"") << testing::PrintToString(text);
        QJsonParseError error{};
        QJsonDocument::fromJson(QByteArray::fromStdString("[" + JsonQuote(text) + "]"), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << testing::PrintToString(text);
    }
}
