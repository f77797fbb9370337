#include "core/report.h"

#include "core/operationerror.h"

#include <cstdio>
#include <utility>

namespace Report {
namespace {

BoxShower &boxShower()
{
    static BoxShower show;
    return show;
}

} // namespace

void line(const QString &text)
{
    std::fprintf(stderr, "bexlow: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void failure(const OperationError &error)
{
    line(error.toString());
}

void alert(const QString &text)
{
    line(text);
    if (const BoxShower &show = boxShower())
        show(text);
}

void setBoxShower(BoxShower show)
{
    boxShower() = std::move(show);
}

} // namespace Report
