#include "output/avi_messages.h"

#include "platform/avifile/avifile.h"

namespace zr {

int ErrorMessageId(int32_t code) {
  switch (code) {
    case 1:
      return IDS_NO_BITMAPS;
    case 2:
      return IDS_OLD_VFW;
    case REGDB_E_CLASSNOTREG:
      return IDS_CLASSNOTREG;
    case AVIERR_UNSUPPORTED:
      return IDS_UNSUPPORTED;
    case AVIERR_BADFORMAT:
      return IDS_BADFORMAT;
    case AVIERR_MEMORY:
      return IDS_MEMORY;
    case AVIERR_INTERNAL:
      return IDS_INTERNAL;
    case AVIERR_BADFLAGS:
      return IDS_BADFLAGS;
    case AVIERR_BADPARAM:
      return IDS_BADPARAM;
    case AVIERR_BADSIZE:
      return IDS_BADSIZE;
    case AVIERR_BADHANDLE:
      return IDS_BADHANDLE;
    case AVIERR_FILEREAD:
      return IDS_FILEREAD;
    case AVIERR_FILEWRITE:
      return IDS_FILEWRITE;
    case AVIERR_FILEOPEN:
      return IDS_FILEOPEN;
    case AVIERR_COMPRESSOR:
      return IDS_COMPRESSOR;
    case AVIERR_NOCOMPRESSOR:
      return IDS_NOCOMPRESSOR;
    case AVIERR_READONLY:
      return IDS_READONLY;
    case AVIERR_NODATA:
      return IDS_NODATA;
    case AVIERR_BUFFERTOOSMALL:
      return IDS_BUFFERTOOSMALL;
    case AVIERR_CANTCOMPRESS:
      return IDS_CANTCOMPRESS;
    case AVIERR_USERABORT:
      return IDS_USERABORT;
    default:
      return IDS_GENERIC;
  }
}

const char* AviMessageText(int id) {
  switch (id) {
    case IDS_NO_BITMAPS:
      return "No bitmaps specified";
    case IDS_OLD_VFW:
      return "Old Video for Windows version: you must install version 1.1 or better";
    case IDS_CLASSNOTREG:
      return "According to the registry, the type of file specified in AVIFileOpen does not "
             "have a handler to process it";
    case IDS_UNSUPPORTED:
      return "Unsupported command";
    case IDS_BADFORMAT:
      return "The file couldn't be read, indicating a corrupt file or an unrecognized format";
    case IDS_MEMORY:
      return "The file could not be opened because of insufficient memory";
    case IDS_INTERNAL:
      return "Internal AVI error";
    case IDS_BADFLAGS:
      return "Bad flags passed";
    case IDS_BADPARAM:
      return "Bad parameter passed";
    case IDS_BADSIZE:
      return "Bad AVI size reported";
    case IDS_BADHANDLE:
      return "Bad AVI handle";
    case IDS_FILEREAD:
      return "A disk error occurred while reading the file";
    case IDS_FILEWRITE:
      return "A disk error occured while writing the file";
    case IDS_FILEOPEN:
      return "A disk error occurred while opening the file";
    case IDS_COMPRESSOR:
      return "AVI compressor is corrupted";
    case IDS_NOCOMPRESSOR:
      return "AVI compressor not found";
    case IDS_READONLY:
      return "AVI file is read-only";
    case IDS_NODATA:
      return "Data expected, but not received";
    case IDS_BUFFERTOOSMALL:
      return "AVI buffer is too small";
    case IDS_CANTCOMPRESS:
      return "Failed to compress the data";
    case IDS_USERABORT:
      return "User abort";
    case IDS_GENERIC:
      return "Generic AVI error";
    default:
      return "";
  }
}

std::string CodecErrorMessage(int32_t code) {
  return "Codec error (" + std::to_string(code) + "): " + AviMessageText(ErrorMessageId(code));
}

std::string ImagesWrittenText(size_t count, const std::string& folder) {
  return std::to_string(count) + (count == 1 ? " image" : " images") + " written to " + folder;
}

}  // namespace zr
