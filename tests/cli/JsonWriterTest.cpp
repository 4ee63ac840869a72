// The --json writer: whatever text a charger or a file name holds, a JSON
// reader gets it back unchanged.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/Json.h"

namespace {

QJsonDocument Parse(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in " << text;
    return doc;
}

TEST(JsonWriter, EveryAsciiCharacterSurvivesARoundTrip) {
    std::string all;
    for (int c = 1; c < 128; ++c) {
        all += static_cast<char>(c);
    }
    const std::string dumped = CJson::Object().Add(all, CJson::String(all)).Dump();
    for (char c = 1; c < 0x20; ++c) {
        EXPECT_EQ(dumped.find(c), std::string::npos) << "raw control byte " << int(c);
    }
    const QJsonObject object = Parse(dumped).object();
    ASSERT_EQ(object.size(), 1);
    EXPECT_EQ(object.keys().front().toStdString(), all);
    EXPECT_EQ(object.begin().value().toString().toStdString(), all);
}

// Text above 127 is the UTF-8 the charger or the file system gave: passed
// through, not escaped byte by byte into something else.
TEST(JsonWriter, Utf8PassesThrough) {
    const std::string utf8 = "Ladegerät 5 µF";
    EXPECT_EQ(JsonQuote(utf8), "\"" + utf8 + "\"");
    EXPECT_EQ(Parse("[" + JsonQuote(utf8) + "]").array()[0].toString(),
              QString::fromUtf8(utf8.c_str()));
}

TEST(JsonWriter, NestedValuesKeepTheirOrderAndTypes) {
    CJson inner = CJson::Array();
    inner.Push(CJson::Number(-12)).Push(CJson::Bool(false)).Push(CJson::Null());
    CJson root = CJson::Object();
    root.Add("z", CJson::String("first"))
        .Add("a", std::move(inner))
        .Add("empty", CJson::Object())
        .Add("none", CJson::Array())
        .Add("big", CJson::Number(1LL << 40));
    const std::string dumped = root.Dump();
    EXPECT_LT(dumped.find("\"z\""), dumped.find("\"a\"")) << "insertion order: " << dumped;

    const QJsonObject object = Parse(dumped).object();
    EXPECT_EQ(object["z"].toString(), "first");
    const QJsonArray array = object["a"].toArray();
    ASSERT_EQ(array.size(), 3);
    EXPECT_EQ(array[0].toInteger(), -12);
    EXPECT_TRUE(array[1].isBool());
    EXPECT_FALSE(array[1].toBool());
    EXPECT_TRUE(array[2].isNull());
    EXPECT_TRUE(object["empty"].toObject().isEmpty());
    EXPECT_TRUE(object["none"].toArray().isEmpty());
    EXPECT_EQ(object["big"].toInteger(), 1LL << 40);
}

}  // namespace
