// Reading the exception being handled: the texts of each kind, a copy kept past its catch block, a
// report that throws, and catch blocks inside catch blocks.
#include <GenICam/CaughtException.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

using GenICam::CaughtException;

namespace {

struct ForeignError {
    int code;
};

// Throws `thrower`'s exception and returns what a catch-all block reads of it.
CaughtException caughtFrom(const std::function<void()>& thrower)
{
    try {
        thrower();
    } catch (...) {
        return CaughtException::Current();
    }
    ADD_FAILURE() << "nothing was thrown";
    return CaughtException::Current();
}

} // namespace

TEST(CaughtExceptionTest, EachKindGivesItsOwnTexts)
{
    const GenICam::RuntimeException genicam = RUNTIME_EXCEPTION("Node '%s' is gone", "Gain");
    const std::string genicamWhat = genicam.what();
    ASSERT_NE(genicamWhat, "Node 'Gain' is gone"); // the full text carries type, file and line

    enum Kind { GenICamKind, StandardKind, Foreign };
    const struct {
        const char* name;
        std::function<void()> thrower;
        Kind kind;
        std::string description;
        std::string what;
    } cases[] = {
        {"GenICam", [&] { throw genicam; }, GenICamKind, "Node 'Gain' is gone", genicamWhat},
        {"GenICam caught as its base", [&] { throw GenICam::GenericException(genicam); }, GenICamKind,
         "Node 'Gain' is gone", genicamWhat},
        {"standard", [] { throw std::runtime_error("disk full"); }, StandardKind, "disk full", "disk full"},
        {"derived standard", [] { throw std::out_of_range("index 7"); }, StandardKind, "index 7", "index 7"},
        {"standard without text", [] { throw std::bad_alloc(); }, StandardKind, std::bad_alloc().what(),
         std::bad_alloc().what()},
        {"foreign class", [] { throw ForeignError{3}; }, Foreign, "Unspecified exception occurred.",
         "Unspecified exception occurred."},
        {"foreign integer", [] { throw 42; }, Foreign, "Unspecified exception occurred.",
         "Unspecified exception occurred."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CaughtException caught = caughtFrom(c.thrower);
        EXPECT_EQ(caught.Description(), c.description);
        EXPECT_EQ(caught.What(), c.what);
        EXPECT_EQ(caught.IsKnown(), c.kind != Foreign);
        EXPECT_EQ(caught.GenICamException() != nullptr, c.kind == GenICamKind);
        EXPECT_EQ(caught.StdException() != nullptr, c.kind != Foreign);
        // A site's own word for an unknown exception is used for foreign types only.
        EXPECT_EQ(std::string(caught.Description("unknown exception")),
                  c.kind == Foreign ? "unknown exception" : c.description);
        EXPECT_EQ(std::string(caught.What("")), c.kind == Foreign ? "" : c.what);
    }
}

TEST(CaughtExceptionTest, OutsideACatchBlockThereIsNone)
{
    const CaughtException none = CaughtException::Current();
    EXPECT_FALSE(none.IsKnown());
    EXPECT_EQ(none.StdException(), nullptr);
    EXPECT_STREQ(none.Description(), GenICam::UnspecifiedExceptionText);
    EXPECT_STREQ(none.What("nothing"), "nothing");
}

// The copies outlive the exception's catch block and the blocks of later exceptions: what they point to
// is kept alive with them (the sanitizer build sees a read of a freed exception).
TEST(CaughtExceptionTest, ACopyReadsItsExceptionAfterTheCatchBlockEnded)
{
    CaughtException first = caughtFrom([] { throw std::runtime_error(std::string(200, 'a')); });
    const CaughtException second = caughtFrom([] { throw RUNTIME_EXCEPTION("second"); });
    EXPECT_EQ(std::string(first.What()), std::string(200, 'a'));
    EXPECT_STREQ(second.Description(), "second");
    const CaughtException copy = first;
    first = second;
    EXPECT_EQ(std::string(copy.Description()), std::string(200, 'a'));
    EXPECT_STREQ(first.Description(), "second");
}

// What a catch block does after reading the exception is its own: a report that throws lets its exception
// leave, a rethrow passes the same exception on, and the reading changes neither.
TEST(CaughtExceptionTest, AReportThatThrowsAndARethrowLeaveTheBlockUntouched)
{
    CaughtException reported;
    auto report = [&](const CaughtException& caught) {
        reported = caught;
        throw std::logic_error("the report failed");
    };
    try {
        try {
            throw RUNTIME_EXCEPTION("grab failed");
        } catch (...) {
            report(CaughtException::Current());
        }
        FAIL() << "the report's exception was swallowed";
    } catch (...) {
        const CaughtException outer = CaughtException::Current();
        EXPECT_STREQ(outer.What(), "the report failed");
        EXPECT_EQ(outer.GenICamException(), nullptr);
    }
    EXPECT_STREQ(reported.Description(), "grab failed");

    const GenICam::TimeoutException* original = nullptr;
    try {
        try {
            throw TIMEOUT_EXCEPTION("no frame");
        } catch (const GenICam::TimeoutException& e) {
            original = &e;
            EXPECT_EQ(CaughtException::Current().GenICamException(), &e);
            throw;
        }
    } catch (const GenICam::TimeoutException& e) {
        EXPECT_EQ(&e, original);
        EXPECT_STREQ(e.GetDescription(), "no frame");
    }
}

// A catch block inside a catch block reads its own exception, and the outer one again once it has ended;
// so does a destructor run while an exception unwinds, which handles nothing itself.
TEST(CaughtExceptionTest, NestedCatchBlocksEachReadTheirOwnException)
{
    try {
        throw std::runtime_error("outer");
    } catch (...) {
        EXPECT_STREQ(CaughtException::Current().What(), "outer");
        try {
            throw RUNTIME_EXCEPTION("inner");
        } catch (...) {
            const CaughtException inner = CaughtException::Current();
            EXPECT_STREQ(inner.Description(), "inner");
            EXPECT_NE(inner.GenICamException(), nullptr);
        }
        EXPECT_STREQ(CaughtException::Current().What(), "outer");
        EXPECT_EQ(CaughtException::Current().GenICamException(), nullptr);
    }

    struct ReadsOnUnwinding {
        std::string* seen;
        ~ReadsOnUnwinding()
        {
            *seen = CaughtException::Current().What("none");
            try {
                throw std::runtime_error("cleanup");
            } catch (...) {
                *seen += std::string("/") + CaughtException::Current().What();
            }
        }
    };
    std::string seen;
    try {
        ReadsOnUnwinding guard{&seen};
        throw ForeignError{1};
    } catch (const ForeignError&) {
        EXPECT_FALSE(CaughtException::Current().IsKnown());
    }
    EXPECT_EQ(seen, "none/cleanup");
}
