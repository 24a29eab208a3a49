// IPersistFile: loading through a "file:///" URL of the full path, saving, the current
// file, the root that a load leaves, and the onPersist event.
#include "support/watched_store.h"

#include <cstring>
#include <string>

namespace tarnwick_test {
namespace {

class PersistTest : public PersistStoreTest {
protected:
    std::wstring rootName()
    {
        ComPtr<IUnknown> root;
        EXPECT_EQ(S_OK, store->getRootElement(&root));
        return nodeName(root.Get());
    }

    std::wstring documentElementName()
    {
        ComPtr<IXMLDOMElement> element;
        documentOf(store.Get())->get_documentElement(&element);
        return nodeName(element.Get());
    }
};

TEST_F(PersistTest, ClassIdAndTheMethodsWithoutState)
{
    CLSID clsid = IID_NULL;
    EXPECT_EQ(E_POINTER, persist->GetClassID(nullptr));
    ASSERT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(InlineIsEqualGUID(CLSID_Tarnwick, clsid));

    EXPECT_EQ(E_NOTIMPL, persist->IsDirty());
    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    Bstr xml = bstr(L"<root><changed/></root>");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, doc->loadXML(xml.get(), &loaded));
    EXPECT_EQ(E_NOTIMPL, persist->IsDirty()) << "no dirty state after a change either";

    EXPECT_EQ(E_NOTIMPL, persist->SaveCompleted(L"C:\\a.xml"));
    EXPECT_EQ(E_POINTER, persist->SaveCompleted(nullptr));
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(PersistTest, NewStoreHasNoCurrentFile)
{
    EXPECT_EQ(L"(null)", curFile());
    EXPECT_EQ(E_POINTER, persist->GetCurFile(nullptr));
}

TEST_F(PersistTest, NullNamesAreRefused)
{
    EXPECT_EQ(E_POINTER, persist->Load(nullptr, STGM_READ));
    EXPECT_EQ(E_POINTER, persist->Save(nullptr, TRUE));
    EXPECT_EQ(E_POINTER, persist->Save(nullptr, FALSE));
    EXPECT_EQ(L"(null)", curFile()) << "a null name does not stand for the current file";
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(PersistTest, FailedLoadRemembersTheNameAndAnnouncesNothing)
{
    const std::wstring debugFile = tempFile(L"debug.xml");
    Bstr debugName = bstr(debugFile.c_str());
    ASSERT_EQ(S_OK, store->setDebugMode(1, debugName.get()));

    for (const UnloadableFile& c : unloadableFiles()) {
        EXPECT_EQ(E_FAIL, persist->Load(c.name.c_str(), STGM_READ)) << c.what;
        EXPECT_EQ(c.name, curFile()) << c.what;
        EXPECT_TRUE(sink->events.empty()) << c.what;
        EXPECT_FALSE(fileExists(debugFile)) << c.what << ": no auto-save after a failed load";
    }
}

TEST_F(PersistTest, LoadAnnouncesTheUrlOfTheFullPath)
{
    const std::wstring backslashed = tempFile(L"store.xml");
    writeFile(backslashed, "<?xml version=\"1.0\"?>\n<root/>\n");
    ASSERT_NE(std::wstring::npos, backslashed.find(L'\\'));
    std::wstring slashed = backslashed;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');

    for (const std::wstring& name : {backslashed, slashed}) {
        sink->events.clear();
        ASSERT_EQ(S_OK, persist->Load(name.c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE)) << narrow(name);
        ASSERT_EQ(1u, sink->events.size()) << narrow(name);
        EXPECT_TRUE(InlineIsEqualGUID(IID_IPersistFile, sink->lastIid));
        EXPECT_EQ(L"file:///" + slashed, sink->lastUrl) << "forward slashes, either way the name was written";
        EXPECT_EQ(name, curFile()) << "as the caller gave it";
    }
}

TEST_F(PersistTest, SaveRemembersTheNameOnlyWhenAsked)
{
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));

    const std::wstring kept = tempFile(L"kept.xml");
    ASSERT_EQ(S_OK, persist->Save(kept.c_str(), FALSE));
    EXPECT_TRUE(fileExists(kept));
    EXPECT_EQ(L"(null)", curFile());

    const std::wstring remembered = tempFile(L"remembered.xml");
    ASSERT_EQ(S_OK, persist->Save(remembered.c_str(), TRUE));
    EXPECT_TRUE(fileExists(remembered));
    EXPECT_EQ(remembered, curFile());

    ASSERT_EQ(S_OK, persist->Save(kept.c_str(), FALSE));
    EXPECT_EQ(remembered, curFile());
    EXPECT_TRUE(sink->events.empty()) << "saving announces nothing";
}

TEST_F(PersistTest, FailingSaveAnswersFailureAndKeepsTheCurrentFile)
{
    const std::wstring current = tempFile(L"current.xml");
    ASSERT_EQ(S_OK, persist->Save(current.c_str(), TRUE));

    const std::wstring unreachable = tempDir() + L"\\no-such-folder\\store.xml";
    EXPECT_EQ(E_FAIL, persist->Save(unreachable.c_str(), TRUE));
    EXPECT_EQ(current, curFile());
    EXPECT_EQ(E_FAIL, persist->Save(unreachable.c_str(), FALSE));
    EXPECT_EQ(current, curFile());
}

TEST_F(PersistTest, SaveThenLoadGivesBackTheSameTree)
{
    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    Bstr xml = bstr(L"<?xml version=\"1.0\"?><root><a x=\"1\" y=\"two words\"><b/><c z=\"&amp;\"/></a><d/></root>");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, doc->loadXML(xml.get(), &loaded));
    ASSERT_EQ(VARIANT_TRUE, loaded);

    const std::wstring file = tempFile(L"tree.xml");
    ASSERT_EQ(S_OK, persist->Save(file.c_str(), FALSE));
    EXPECT_EQ(0u, readFile(file).find("<?xml version=\"1.0\"?>")) << readFile(file);

    ComPtr<ITarnwick> other = newStore();
    ComPtr<IPersistFile> otherPersist;
    ASSERT_EQ(S_OK, other.As(&otherPersist));
    ASSERT_EQ(S_OK, otherPersist->Load(file.c_str(), STGM_READ));
    EXPECT_EQ(xmlOf(store.Get()), xmlOf(other.Get()));
    EXPECT_EQ(L"xml|root", topLevelNames(other.Get()));
}

TEST_F(PersistTest, LoadedTopElementBecomesTheRootWhateverItsName)
{
    ComPtr<IUnknown> before;
    ASSERT_EQ(S_OK, store->getRootElement(&before));

    const std::wstring file = tempFile(L"catalog.xml");
    writeFile(file, "<?xml version=\"1.0\"?>\n<catalog><item/></catalog>\n");
    ASSERT_EQ(S_OK, persist->Load(file.c_str(), STGM_READ));
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(L"catalog", nodeName(root.Get()));
    EXPECT_EQ(L"xml|catalog", topLevelNames(store.Get())) << "nothing is built";

    if (!domKeepsNodeIdentity())
        GTEST_SKIP() << "this DOM makes a new COM object per node retrieval; identity cannot be compared";
    ComPtr<IXMLDOMElement> documentElement;
    ASSERT_EQ(S_OK, documentOf(store.Get())->get_documentElement(&documentElement));
    EXPECT_EQ(identityOf(documentElement.Get()), root.Get());
}

TEST_F(PersistTest, FailedLoadKeepsTheLoadedRoot)
{
    const std::wstring good = tempFile(L"catalog.xml");
    writeFile(good, "<?xml version=\"1.0\"?>\n<catalog/>\n");
    ASSERT_EQ(S_OK, persist->Load(good.c_str(), STGM_READ));
    ASSERT_EQ(L"catalog", rootName());

    const std::wstring bad = tempFile(L"bad.xml");
    writeFile(bad, "<?xml version=\"1.0\"?>\n<catalog>");
    ASSERT_EQ(E_FAIL, persist->Load(bad.c_str(), STGM_READ));
    EXPECT_EQ(L"catalog", documentElementName());
    EXPECT_EQ(L"catalog", rootName());
    EXPECT_EQ(L"xml|catalog", topLevelNames(store.Get()));
}

TEST_F(PersistTest, DocumentWithoutAnElementDoesNotLoad)
{
    const std::wstring bad = tempFile(L"bad.xml");
    writeFile(bad, "<?xml version=\"1.0\"?>\n<?keep this?>\n");
    ASSERT_EQ(E_FAIL, persist->Load(bad.c_str(), STGM_READ)) << "a document needs an element";
    EXPECT_EQ(L"root", rootName());
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get())) << "the store's own root and declaration, once each";
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(PersistTest, FailedLoadKeepsTheDefaultRoot)
{
    ASSERT_EQ(L"root", rootName());
    ASSERT_EQ(E_FAIL, persist->Load(tempFile(L"missing.xml").c_str(), STGM_READ));
    EXPECT_EQ(L"root", documentElementName());
    EXPECT_EQ(L"root", rootName());
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
}

TEST_F(PersistTest, LoadThroughTheDocumentsStreamBypassesTheStore)
{
    const std::wstring file = tempFile(L"catalog.xml");
    writeFile(file, "<?xml version=\"1.0\"?>\n<catalog/>\n");
    ASSERT_EQ(S_OK, persist->Load(file.c_str(), STGM_READ));
    ASSERT_EQ(L"catalog", rootName());
    ASSERT_EQ(1u, sink->events.size());
    const std::wstring debugFile = tempFile(L"debug.xml");
    Bstr debugName = bstr(debugFile.c_str());
    ASSERT_EQ(S_OK, store->setDebugMode(1, debugName.get()));

    const char text[] = "<?xml version=\"1.0\"?>\n<other/>\n";
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof text - 1);
    ASSERT_TRUE(memory);
    std::memcpy(GlobalLock(memory), text, sizeof text - 1);
    GlobalUnlock(memory);
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(memory, TRUE, &stream));
    ComPtr<IPersistStream> streamLoader;
    ASSERT_EQ(S_OK, store.As(&streamLoader));
    ASSERT_EQ(S_OK, streamLoader->Load(stream.Get()));

    EXPECT_EQ(L"other", documentElementName()) << "the document was replaced";
    EXPECT_EQ(L"catalog", rootName()) << "the cached root was not re-read";
    EXPECT_EQ(file, curFile());
    EXPECT_EQ(1u, sink->events.size()) << "no onPersist";
    EXPECT_FALSE(fileExists(debugFile)) << "no auto-save";
}

} // namespace
} // namespace tarnwick_test
