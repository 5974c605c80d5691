// CXMLFile: which files give a tree, and what the tree holds.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fetchwell/loadercontrol.h"
#include "fixtures.h"

using fetchwell_test::FixturePath;
using fetchwell_test::TempFile;
using fetchwell_test::XmlFile;

namespace {

struct UnparsedFile {
    const char* label;
    const wchar_t* fixture;  // null: the bytes below, written to a temporary file
    const char* bytes;
};

class CXMLFileWithoutTree : public ::testing::TestWithParam<UnparsedFile> {};

TEST_P(CXMLFileWithoutTree, HasNullTree) {
    const UnparsedFile& c = GetParam();
    std::unique_ptr<TempFile> temp;
    std::wstring path;
    if (c.fixture != nullptr) {
        path = FixturePath(c.fixture);
    } else {
        temp = std::make_unique<TempFile>(c.bytes);
        path = temp->Path();
    }
    XmlFile file(path.c_str());
    EXPECT_EQ(file.getXMLTree(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CXMLFileWithoutTree,
    ::testing::Values(UnparsedFile{"Missing", L"no-such-file.xml", nullptr},
                      UnparsedFile{"MismatchedEndTag", L"malformed.xml", nullptr},
                      UnparsedFile{"EndsInsideElement", L"truncated.xml", nullptr},
                      UnparsedFile{"DocumentTypeWithEntities", L"entities.xml", nullptr},
                      UnparsedFile{"Empty", nullptr, ""},
                      UnparsedFile{"OnlyDeclaration", nullptr, "<?xml version=\"1.0\"?>\n"},
                      UnparsedFile{"TwoRoots", nullptr, "<loadercontrol/><loadercontrol/>"},
                      UnparsedFile{"EndsInsideText", nullptr, "<loadercontrol><appearance>1,2"},
                      UnparsedFile{"EndsInsideStartTag", nullptr, "<loadercontrol><product id=\"x"},
                      UnparsedFile{"EndsInsideComment", nullptr, "<loadercontrol><!-- no end"},
                      UnparsedFile{"NotXml", nullptr, "230,236,245\n"},
                      UnparsedFile{"UnquotedAttribute", nullptr, "<loadercontrol a=1/>"}),
    [](const ::testing::TestParamInfo<UnparsedFile>& info) {
        return std::string(info.param.label);
    });

TEST(CXMLFile, NullPathGivesNoTree) {
    XmlFile file(nullptr);
    EXPECT_EQ(file.getXMLTree(), nullptr);
}

TEST(CXMLFile, DirectoryGivesNoTree) {
    wchar_t folder[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    XmlFile file(folder);
    EXPECT_EQ(file.getXMLTree(), nullptr);
}

// The caller allocates the object from the process heap; the library's deleting destructor, reached
// through the table's first slot, must give exactly that block back to the process heap.
TEST(CXMLFile, DeletingDestructorReturnsTheBlockToTheProcessHeap) {
    HANDLE heap = GetProcessHeap();
    for (int round = 0; round < 50; ++round) {
        CXMLFile* file = CXMLFile::Create(FixturePath(L"full.xml").c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_NE(file->getXMLTree(), nullptr);
        ASSERT_TRUE(HeapValidate(heap, 0, file));
        CXMLFile::Delete(file);
        // The block is no longer an allocated block of the process heap.
        EXPECT_FALSE(HeapValidate(heap, 0, file)) << "round " << round;
    }
    EXPECT_TRUE(HeapValidate(heap, 0, nullptr));
}

TEST(CXMLFile, TreeHoldsElementsAttributesAndText) {
    XmlFile file(FixturePath(L"full.xml").c_str());
    const CXMLNode* root = file.getXMLTree();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), L"loadercontrol");
    EXPECT_STREQ(root->GetAttribute(L"version"), L"1");
    EXPECT_EQ(root->GetAttribute(L"absent"), nullptr);
    EXPECT_EQ(root->GetNextSibling(), nullptr);

    const CXMLNode* appearance = root->GetFirstChild();
    ASSERT_NE(appearance, nullptr);
    EXPECT_STREQ(appearance->GetName(), L"appearance");
    const CXMLNode* color = appearance->FindChild(L"backgroundColor");
    ASSERT_NE(color, nullptr);
    EXPECT_STREQ(color->GetText(), L"230, 236, 245");

    const CXMLNode* products = root->FindChild(L"products");
    ASSERT_NE(products, nullptr);
    const CXMLNode* first = products->FindChild(L"product");
    ASSERT_NE(first, nullptr);
    // The entity is resolved and the UTF-8 names arrive as UTF-16.
    EXPECT_STREQ(first->GetAttribute(L"name"), L"Brisco Suite & Tools");
    const CXMLNode* second = first->FindNextSibling();
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->GetAttribute(L"name"), L"\x0411\x0440\x0438\x0441\x043A\x043E");
    const CXMLNode* third = second->FindNextSibling();
    ASSERT_NE(third, nullptr);
    EXPECT_STREQ(third->GetAttribute(L"name"), L"\x30D6\x30EA\x30B9\x30B3");
    EXPECT_EQ(third->FindNextSibling(), nullptr);
}

TEST(CXMLFile, NamesMatchInAnyLetterCase) {
    XmlFile file(FixturePath(L"odd_case.xml").c_str());
    const CXMLNode* root = file.getXMLTree();
    ASSERT_NE(root, nullptr);
    // Names are reported as written, found as any spelling.
    EXPECT_STREQ(root->GetName(), L"LoaderControl");
    const CXMLNode* languages = root->FindChild(L"guilanguages");
    ASSERT_NE(languages, nullptr);
    const CXMLNode* first = languages->FindChild(L"Language");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->GetAttribute(L"code"), L"EN");
    EXPECT_STREQ(first->GetAttribute(L"LIBRARY"), L"fetchwellGUI_en.dll");
    const CXMLNode* second = first->FindNextSibling();
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->GetName(), L"LANGUAGE");
    EXPECT_STREQ(second->GetAttribute(L"Code"), L"De");
}

TEST(CXMLFile, TextJoinsCharacterDataAndTrimsBlanks) {
    TempFile temp("<r>\n  <a>  one <![CDATA[<two>]]> three\t</a><b>   </b><c/></r>");
    XmlFile file(temp.Path());
    const CXMLNode* root = file.getXMLTree();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(root->FindChild(L"a"), nullptr);
    EXPECT_STREQ(root->FindChild(L"a")->GetText(), L"one <two> three");
    ASSERT_NE(root->FindChild(L"b"), nullptr);
    EXPECT_STREQ(root->FindChild(L"b")->GetText(), L"");
    ASSERT_NE(root->FindChild(L"c"), nullptr);
    EXPECT_STREQ(root->FindChild(L"c")->GetText(), L"");
    EXPECT_EQ(root->FindChild(L"d"), nullptr);
    EXPECT_EQ(root->FindChild(nullptr), nullptr);
    EXPECT_EQ(root->GetAttribute(nullptr), nullptr);
}

TEST(CXMLFile, ReadsUtf16FileWithByteOrderMark) {
    const std::wstring text =
        L"\xFEFF<?xml version=\"1.0\" encoding=\"utf-16\"?><loadercontrol name=\"\x00C9t\x00E9\"/>";
    TempFile temp(
        std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    XmlFile file(temp.Path());
    ASSERT_NE(file.getXMLTree(), nullptr);
    EXPECT_STREQ(file.getXMLTree()->GetAttribute(L"name"), L"\x00C9t\x00E9");
}

// Elements nested `depth` deep: <a><a>...</a></a>.
std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < depth; ++i) {
        text += "</a>";
    }
    return text;
}

TEST(CXMLFile, RefusesNestingDeeperThanAnyControlFile) {
    TempFile temp(Nested(200));
    XmlFile file(temp.Path());
    EXPECT_EQ(file.getXMLTree(), nullptr);
}

TEST(CXMLFile, ReadsNestingWellBelowTheDepthLimit) {
    TempFile temp(Nested(30));
    XmlFile file(temp.Path());
    const CXMLNode* node = file.getXMLTree();
    int depth = 0;
    for (; node != nullptr; node = node->GetFirstChild()) {
        ++depth;
    }
    EXPECT_EQ(depth, 30);
}

TEST(CXMLFile, RefusesFileFarLargerThanAnyControlFile) {
    const std::string padding(2 * 1024 * 1024, ' ');
    TempFile temp("<loadercontrol>" + padding + "</loadercontrol>");
    XmlFile file(temp.Path());
    EXPECT_EQ(file.getXMLTree(), nullptr);
}

}  // namespace
