#include "RowDecoder.h"

std::unique_ptr<RowDecoder> OpenBMPRows(const QString&)
{
    return nullptr;
}
