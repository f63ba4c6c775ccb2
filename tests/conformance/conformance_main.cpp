// The reference trials run with the process locale set the way the program
// sets it: QCoreApplication takes it from the environment. CTest runs them
// once as they come and once under a comma-decimal locale, where every
// byte of every log and snapshot must stay the same.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* wanted = std::getenv("KESTU_EXPECT_DECIMAL_POINT");
    const char* point = std::localeconv()->decimal_point;
    if (wanted && std::strcmp(wanted, point) != 0) {
        // A missing locale would quietly test the C locale again.
        std::fprintf(stderr, "the locale %s is not installed here (decimal point \"%s\", expected \"%s\")\n",
                     std::setlocale(LC_NUMERIC, nullptr), point, wanted);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
