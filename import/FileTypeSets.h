#pragma once

#include <QString>

#include "FileType.h"

// The file types the program registers once at start-up, FileTypes1 first, ScanType second.
// Each member is created by its set's _Initialize and kept, registered, until the program ends.

// The CSV import file, offered by the CSV reader's open dialog.
namespace FileTypes1 {
void _Initialize();
// The open dialog's filter: the Name of each type followed by ";". A constant.
QString All();

extern FileType* pCsvFile;
}

// The page file types. Once registered, FolderItem::Type reports these Names for page files;
// the readers store them with every page.
namespace ScanType {
void _Initialize();

extern FileType* pJpeg;
extern FileType* pPng;
extern FileType* pImageTiff;
extern FileType* pImagePict;
extern FileType* pImageGif;
extern FileType* pImageXBmp;
extern FileType* pPdf;
}
