// pdftk: the small PDF toolkit Parchwipe runs to empty a PDF's document information.
// Usage: pdftk IN update_info INFO output OUT dont_ask

#include "InfoUpdate.h"

#include <cstring>
#include <exception>
#include <iostream>

namespace {

bool isUpdateInfoCall(int argc, char *argv[]) {
    return argc == 7 && std::strcmp(argv[2], "update_info") == 0 &&
           std::strcmp(argv[4], "output") == 0 && std::strcmp(argv[6], "dont_ask") == 0;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (!isUpdateInfoCall(argc, argv)) {
        std::cerr << "Usage: pdftk IN update_info INFO output OUT dont_ask\n";
        return 2;
    }
    try {
        updateInfo(argv[1], readInfoFile(argv[3]), argv[5]);
    } catch (const std::exception &error) {
        std::cerr << "pdftk: " << argv[1] << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
