#include <QApplication>

#include <gtest/gtest.h>

// Sanitizer builds stop at the first undefined behaviour, with its stack.
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

// Widget tests need an application object; the offscreen platform keeps them
// away from any real display.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
