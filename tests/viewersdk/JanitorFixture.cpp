// A tiny shared library for the janitor's tests.
extern "C" __attribute__((visibility("default"))) int lorvishJanitorFixtureAnswer()
{
    return 42;
}
