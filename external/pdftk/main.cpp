// pdftk: the small PDF toolkit Parchwipe runs to empty a PDF's document information.
// Usage: pdftk IN update_info INFO output OUT dont_ask
// Exit codes: 0 done, 1 failed, 2 wrong usage, 3 the disk was too full for OUT. OUT is written
// whole or not at all.

#include "InfoUpdate.h"
#include "OutputFile.h"

#include <qpdf/QPDFExc.hh>

#include <cstring>
#include <exception>
#include <iostream>

namespace {

bool isUpdateInfoCall(int argc, char *argv[]) {
    return argc == 7 && std::strcmp(argv[2], "update_info") == 0 &&
           std::strcmp(argv[4], "output") == 0 && std::strcmp(argv[6], "dont_ask") == 0;
}

// The last part of the message line is a reason the user can act on, so libqpdf's offsets and
// parser details stay out of it.
const char *unreadableReason(const QPDFExc &error) {
    return error.getErrorCode() == qpdf_e_password ? "locked with a password" : "damaged PDF file";
}

}  // namespace

int main(int argc, char *argv[]) {
    if (!isUpdateInfoCall(argc, argv)) {
        std::cerr << "Usage: pdftk IN update_info INFO output OUT dont_ask\n";
        return 2;
    }
    try {
        updateInfo(argv[1], readInfoFile(argv[3]), argv[5]);
    } catch (const QPDFExc &error) {
        std::cerr << "pdftk: " << argv[1] << ": " << unreadableReason(error) << '\n';
        return 1;
    } catch (const std::exception &error) {
        std::cerr << "pdftk: " << argv[1] << ": " << error.what() << '\n';
        return dynamic_cast<const DiskFull *>(&error) != nullptr ? 3 : 1;
    } catch (...) {
        std::cerr << "pdftk: " << argv[1] << ": damaged PDF file\n";
        return 1;
    }
    return 0;
}
