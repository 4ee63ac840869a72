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
