// Properties (getters, loading, the ".sig" check) and the plain file operations.
#include "app/support/AppTestEnv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace Vaxo;

namespace
{

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// HMAC-MD5 of kSignedText under the signing key, worked out with Python's hmac module.
const std::string kSignedText = "<Properties><Integer id=\"N\">7</Integer></Properties>";
const std::string kSignature = "\x80\x16\x5e\xf3\x27\xc5\x79\x58\xa3\x7c\x61\xf3\xd7\x1c\x4b\x2c";

TEST(AppProperties, GettersAnswerTheDefaultWithoutInsertingAndSettersReplace)
{
    AppTestEnv env;
    VaxoAppBase app;
    EXPECT_EQ(app.GetString("NOPE", "dflt"), "dflt");
    EXPECT_EQ(app.GetString("NOPE"), "");
    EXPECT_TRUE(app.GetBoolean("NOPE", true));
    EXPECT_EQ(app.GetInteger("NOPE", 7), 7);
    EXPECT_EQ(app.GetDouble("NOPE", 2.5), 2.5);
    EXPECT_TRUE(app.GetStringVector("NOPE").empty());
    // Only the two button texts of the constructor exist.
    EXPECT_EQ(app.mStringProperties.size(), 2u);
    EXPECT_TRUE(app.mBoolProperties.empty() && app.mIntProperties.empty() && app.mDoubleProperties.empty() &&
                app.mStringVectorProperties.empty());
    EXPECT_EQ(app.GetString("DIALOG_BUTTON_CANCEL"), "CANCEL");

    app.SetInteger("N", 1);
    app.SetInteger("N", 2);
    app.InsertStringVector("L", {"a"});
    app.InsertStringVector("L", {"b"});
    EXPECT_EQ(app.GetInteger("N"), 2);
    EXPECT_EQ(app.GetStringVector("L"), std::vector<std::string>{"a"});
}

TEST(AppProperties, LoadPropertiesReportsEachFailureWithItsText)
{
    struct Row
    {
        const char* content; // null: no file
        const char* sig;     // null: no ".sig" file
        bool required, checkSig, result;
        std::string box; // "" for none
    };
    const std::string name = "p.xml";
    const Row rows[] = {
        {nullptr, nullptr, false, false, false, ""},
        {nullptr, nullptr, true, false, false, "Unable to open properties file "},
        {kSignedText.c_str(), nullptr, true, true, false, "Signature check failed on "},
        {kSignedText.c_str(), kSignature.c_str(), true, true, true, ""},
        {"<Properties><Integer id=\"N\">x</Integer></Properties>", nullptr, false, false, false, "Integer"},
    };
    for (const Row& row : rows)
    {
        AppTestEnv env;
        VaxoAppBase app;
        std::string path = env.mHome + name;
        if (row.content != nullptr)
            WriteFile(path, row.content);
        if (row.sig != nullptr)
            WriteFile(path + ".sig", row.sig);
        SCOPED_TRACE(row.box);
        EXPECT_EQ(app.LoadProperties(path, row.required, row.checkSig), row.result);
        std::vector<std::string> boxes = env.mPlatform->CallsStartingWith("MessageBoxA");
        if (row.box.empty())
        {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        if (row.box == "Signature check failed on ")
            EXPECT_EQ(boxes[0], "MessageBoxA(16,FATAL ERROR,Signature check failed on " + path + "')");
        else if (row.box == "Unable to open properties file ")
            EXPECT_EQ(boxes[0], "MessageBoxA(16,FATAL ERROR,Unable to open properties file " + path + ")");
        else
            EXPECT_NE(boxes[0].find(row.box), std::string::npos) << boxes[0];
    }
}

TEST(AppProperties, SignatureMustBeExactlyTheSixteenDigestBytes)
{
    AppTestEnv env;
    VaxoAppBase app;
    std::string path = env.mHome + "signed.xml";
    Buffer data;
    data.SetData(reinterpret_cast<const uint8_t*>(kSignedText.data()), int32_t(kSignedText.size()));
    std::string flipped = kSignature;
    flipped[15] ^= 1;
    EXPECT_FALSE(app.CheckSignature(data, path)); // no ".sig" file
    const std::pair<std::string, bool> sigs[] = {
        {kSignature, true}, {kSignature + "x", false}, {flipped, false}, {kSignature.substr(0, 15), false}};
    for (const auto& sig : sigs)
    {
        WriteFile(path + ".sig", sig.first);
        EXPECT_EQ(app.CheckSignature(data, path), sig.second) << sig.first.size();
    }
}

TEST(AppFileOps, WritesReplaceTheFileWholeAndReadsRefuseFolders)
{
    AppTestEnv env;
    VaxoAppBase app;
    std::string path = env.mHome + "made/below/file.bin";
    EXPECT_TRUE(app.WriteBytesToFile(path, "abc", 3));
    Buffer buffer;
    buffer.WriteByte(9);
    buffer.WriteByte(8);
    EXPECT_TRUE(app.WriteBufferToFile(path, &buffer));

    Buffer read;
    EXPECT_TRUE(app.ReadBufferFromFile(path, &read, false));
    ASSERT_EQ(read.GetDataLen(), 2);
    EXPECT_EQ(read.GetDataPtr()[0], 9);
    EXPECT_TRUE(app.FileExists(path));
    EXPECT_FALSE(app.FileExists(path + ".tmp"));

    EXPECT_FALSE(app.ReadBufferFromFile(env.mHome + "made", &read, false));
    EXPECT_FALSE(app.ReadBufferFromFile(env.mHome + "none", &read, false));
    // A folder in the way: the write fails and says so.
    EXPECT_FALSE(app.WriteBytesToFile(env.mHome + "made", "x", 1));

    EXPECT_TRUE(app.EraseFile(path));
    EXPECT_FALSE(app.FileExists(path));

    // Outside a demo the synchronised values pass through unchanged.
    int number = -5;
    bool flag = true;
    std::string text = "kept";
    app.DemoSyncInt(&number);
    app.DemoSyncBool(&flag);
    app.DemoSyncString(&text);
    EXPECT_EQ(number, -5);
    EXPECT_TRUE(flag);
    EXPECT_EQ(text, "kept");
}

} // namespace
