#include "ReadingMemo.h"

#include "FolderItem.h"

QString PageTypeNames::Of(const QString& name)
{
    return mByExtension.Get(FolderItem::ExtensionOf(name), [&name] { return FolderItem::TypeOfName(name); });
}
