#pragma once

#include <QXmlStreamReader>

#include <string_view>

// Gives a reader a large XML part a slice at a time. Given the whole, QXmlStreamReader turns all
// of it into text before the first token, which for a part of hundreds of MB leaves the stop flag
// unwatched for seconds.
class XmlFeed {
  public:
    // The reader must be fresh; `xml` must outlive the feed.
    XmlFeed(QXmlStreamReader &reader, std::string_view xml);

    // Reads the next token, giving the reader more of the part whenever it runs short, and
    // looks at the stop flag; false once the reader is at its end (or at an error) before it.
    bool next();

  private:
    void feed();

    QXmlStreamReader &reader_;
    std::string_view rest_;
};
