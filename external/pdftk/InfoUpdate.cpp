#include "InfoUpdate.h"
#include "OutputFile.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <fstream>
#include <stdexcept>

namespace {

const std::string KeyPrefix = "InfoKey: ";
const std::string ValuePrefix = "InfoValue: ";

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string withoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

void readFile(QPDF &pdf, const std::string &path) {
    pdf.setSuppressWarnings(true);
    pdf.processFile(path.c_str());
}

// The result is read back and put beside the source before it may replace the output: a document
// that no longer draws its pages is no result.
void writeWhole(QPDF &pdf, const std::string &input, const std::string &output) {
    OutputFile file(output);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&file);
    writer.write();
    QPDF source;
    QPDF written;
    readFile(source, input);
    readFile(written, file.partialPath());
    Pdf::refuseLostPages(source, written);
    file.commit();
}

}  // namespace

InfoValues readInfoFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read the info file " + path);
    }
    InfoValues values;
    std::string key;
    for (std::string line; std::getline(file, line);) {
        line = withoutLineEnd(line);
        if (startsWith(line, KeyPrefix)) {
            key = line.substr(KeyPrefix.size());
        } else if (startsWith(line, ValuePrefix)) {
            if (key.empty()) {
                throw std::runtime_error("InfoValue without InfoKey in " + path);
            }
            values[key] = line.substr(ValuePrefix.size());
            key.clear();
        }
    }
    return values;
}

void updateInfo(const std::string &input, const InfoValues &values, const std::string &output) {
    QPDF pdf;
    readFile(pdf, input);
    Pdf::clean(pdf, values);
    writeWhole(pdf, input, output);
}
