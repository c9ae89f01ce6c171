// The public face: base types, exceptions, smart pointers and an adapter written outside the library.
#include <GenApi/GenApi.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace GenApi;
using GenICam::gcstring;

namespace {
// Forwards every node operation, the way an adapter outside the library does.
class ForwardingNode : public INode {
public:
    explicit ForwardingNode(INode* node) : m_pNode(node) {}
    EAccessMode GetAccessMode() const override { return m_pNode->GetAccessMode(); }
    gcstring GetName(bool full = false) const override { return m_pNode->GetName(full); }
    ENameSpace GetNameSpace() const override { return m_pNode->GetNameSpace(); }
    EVisibility GetVisibility() const override { return m_pNode->GetVisibility(); }
    void InvalidateNode() override { m_pNode->InvalidateNode(); }
    bool IsCachable() const override { return m_pNode->IsCachable(); }
    EYesNo IsAccessModeCacheable() const override { return m_pNode->IsAccessModeCacheable(); }
    ECachingMode GetCachingMode() const override { return m_pNode->GetCachingMode(); }
    int64_t GetPollingTime() const override { return m_pNode->GetPollingTime(); }
    gcstring GetToolTip() const override { return m_pNode->GetToolTip(); }
    gcstring GetDescription() const override { return m_pNode->GetDescription(); }
    gcstring GetDisplayName() const override { return m_pNode->GetDisplayName(); }
    gcstring GetDeviceName() const override { return m_pNode->GetDeviceName(); }
    void GetChildren(NodeList_t& c, ELinkType t = ctReadingChildren) const override { m_pNode->GetChildren(c, t); }
    void GetParents(NodeList_t& p) const override { m_pNode->GetParents(p); }
    CallbackHandleType RegisterCallback(CNodeCallback* cb) override { return m_pNode->RegisterCallback(cb); }
    bool DeregisterCallback(CallbackHandleType h) override { return m_pNode->DeregisterCallback(h); }
    INodeMap* GetNodeMap() const override { return m_pNode->GetNodeMap(); }
    gcstring GetEventID() const override { return m_pNode->GetEventID(); }
    bool IsStreamable() const override { return m_pNode->IsStreamable(); }
    void GetPropertyNames(GenICam::gcstring_vector& n) const override { m_pNode->GetPropertyNames(n); }
    bool GetProperty(const gcstring& n, gcstring& v, gcstring& a) override { return m_pNode->GetProperty(n, v, a); }
    void ImposeAccessMode(EAccessMode m) override { m_pNode->ImposeAccessMode(m); }
    void ImposeVisibility(EVisibility v) override { m_pNode->ImposeVisibility(v); }
    INode* GetAlias() const override { return m_pNode->GetAlias(); }
    INode* GetCastAlias() const override { return m_pNode->GetCastAlias(); }
    gcstring GetDocuURL() const override { return m_pNode->GetDocuURL(); }
    bool IsDeprecated() const override { return m_pNode->IsDeprecated(); }
    EInterfaceType GetPrincipalInterfaceType() const override { return m_pNode->GetPrincipalInterfaceType(); }
    bool IsFeature() const override { return m_pNode->IsFeature(); }

private:
    INode* m_pNode;
};
} // namespace

TEST(GcstringTest, ComparesConcatenatesAndConverts)
{
    gcstring a("abc");
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE("abc" == a);
    EXPECT_FALSE(a != gcstring("abc"));
    EXPECT_EQ(gcstring("ab") + "c", a);
    EXPECT_EQ(a[1], 'b');
    EXPECT_STREQ(static_cast<const char*>(a), "abc");
    EXPECT_TRUE(gcstring().empty());
    EXPECT_EQ(gcstring(static_cast<const char*>(nullptr)), "");

    const gcstring latin1("gr\xFC\xDF");
    const gcstring utf8 = latin1.Latin1ToUtf8();
    EXPECT_EQ(utf8, "gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(utf8.Utf8ToLatin1(), latin1);
    EXPECT_EQ(gcstring("\xE2\x82\xAC").Utf8ToLatin1(), "?"); // the euro sign has no Latin-1 code
    EXPECT_EQ(gcstring(L"\u00FC\u20AC"), "\xC3\xBC\xE2\x82\xAC");
    EXPECT_EQ(gcstring("\xC3\xBC\xE2\x82\xAC").ToWide(), std::wstring(L"\u00FC\u20AC"));
    // A broken UTF-8 sequence keeps its bytes instead of swallowing the text after it.
    EXPECT_EQ(gcstring("a\xC3").Utf8ToLatin1(), "a\xC3");
}

TEST(GenericExceptionTest, CarriesDescriptionFileLineAndType)
{
    try {
        throw OUT_OF_RANGE_EXCEPTION("value %d above %s", 7, "max");
    } catch (const GenICam::GenericException& e) {
        EXPECT_STREQ(e.GetDescription(), "value 7 above max");
        EXPECT_NE(std::strstr(e.GetSourceFileName(), "HeaderTest.cpp"), nullptr);
        EXPECT_GT(e.GetSourceLine(), 0u);
        EXPECT_STREQ(e.GetExceptionType(), "OutOfRangeException");
        EXPECT_NE(std::strstr(e.what(), "value 7 above max"), nullptr);
        EXPECT_NE(std::strstr(e.what(), "OutOfRangeException"), nullptr);
        // A copy keeps everything.
        const GenICam::GenericException copy(e);
        EXPECT_STREQ(copy.what(), e.what());
        EXPECT_EQ(copy.GetSourceLine(), e.GetSourceLine());
    }
    EXPECT_THROW(GENICAM_THROW(GenICam::AccessException, "no %s", "access"), GenICam::AccessException);
}

TEST(PointerTest, EmptyPointerThrowsOnUse)
{
    CIntegerPtr empty;
    EXPECT_FALSE(empty.IsValid());
    EXPECT_FALSE(empty);
    try {
        empty->GetValue();
        FAIL();
    } catch (const GenICam::LogicalErrorException& e) {
        EXPECT_STREQ(e.GetDescription(), "NULL pointer dereferenced");
    }
    INode* none = nullptr;
    CFloatPtr fromNull(none);
    EXPECT_FALSE(fromNull.IsValid());
}

TEST(LockTest, IsRecursive)
{
    CLock lock;
    AutoLock outer(lock);
    AutoLock inner(lock);
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
}

TEST(LogTest, GivesTheNamedCategory)
{
    log4cpp::Category* logger = GenICam::CLog::GetLogger("GenApiTest");
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger, GenICam::CLog::GetLogger("GenApiTest"));
    logger->debug("formatted %d", 1); // below the default priority: nothing is written
    EXPECT_EQ(logger->getName(), "GenApiTest");
}

TEST(AdapterTest, AnAdapterForwardsToTheRealNodeAndItsCallbacksSeeTheAdapter)
{
    INodeMap* map = CreateNodeMap("<RegisterDescription><Integer Name=\"Hue\"><Value>5</Value><Min>-180</Min>"
                                  "<Max>180</Max><Visibility>Expert</Visibility></Integer></RegisterDescription>",
                                  {}, "Cam");
    INode* real = map->GetNode("Hue");
    ForwardingNode adapter(real);
    EXPECT_EQ(adapter.GetName(), "Hue");
    EXPECT_EQ(adapter.GetVisibility(), Expert);
    EXPECT_EQ(adapter.GetAccessMode(), RW);
    EXPECT_EQ(adapter.GetNodeMap(), map);

    struct Client {
        void onChange(INode* node) { seen = node; }
        INode* seen = nullptr;
    } client;
    const CallbackHandleType h = Register(&adapter, client, &Client::onChange);
    ASSERT_NE(h, 0);
    CIntegerPtr(real)->SetValue(-12);
    EXPECT_EQ(client.seen, &adapter);
    EXPECT_TRUE(Deregister(h));
    DestroyNodeMap(map);
}

TEST(GcString, NposCanBeTakenByReference)
{
    const GenICam::gcstring text("exposure");
    // Comparisons in test macros bind their operands by reference, which needs a definition.
    EXPECT_NE(text.find("pos"), GenICam::gcstring::npos);
    EXPECT_EQ(text.find("gain"), GenICam::gcstring::npos);
}
