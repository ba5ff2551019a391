#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

namespace archiv::archivd {

// SHA-256 through OpenSSL, which uses the processor's SHA instructions
// where there are any (about ten times the speed of a plain implementation):
// every file stored or checked goes through it.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(QByteArrayView daten);
    QString hex(); // lower-case hex; ends the sum

    static QString hex(QByteArrayView daten);

private:
    struct Zustand;
    std::unique_ptr<Zustand> d;
};

} // namespace archiv::archivd
