#include "RowDecoder.h"

std::unique_ptr<RowDecoder> OpenTIFFRows(const QString&)
{
    return nullptr;
}
