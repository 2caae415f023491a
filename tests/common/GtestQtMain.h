// GoogleTest main for widget tests: the test list must be answered before an
// application object exists, because discovery runs without the offscreen
// platform.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>

// Runs the tests with an application object of class `App`.
template <typename App>
int RunTestsWithApplication(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    return RUN_ALL_TESTS();
}
