// The windows of the program run under its own application class (error report, main-thread
// queue).
#include "QtTestApp.h"

#include "TQuovoApplication.h"

namespace {

const bool kQuovoApplication = [] {
    quovo::test::QtAppFactory() = [](int& argc, char** argv) -> std::unique_ptr<QApplication> {
        return std::make_unique<quovo::TQuovoApplication>(argc, argv);
    };
    return true;
}();

} // namespace
