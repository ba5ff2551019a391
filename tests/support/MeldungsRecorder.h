#pragma once

#include "common/Meldung.h"

#include <QList>
#include <QQueue>

namespace archiv::test {

// Records every message the program shows and answers questions from a
// queue (Ok / Ja when the queue is empty). Restores the previous display.
class MeldungsRecorder
{
public:
    MeldungsRecorder();
    ~MeldungsRecorder();

    void antworte(common::Antwort a) { m_antworten.enqueue(a); }
    const QList<common::MeldungsAnfrage> &meldungen() const { return m_meldungen; }
    QStringList texte() const;

private:
    common::MeldungsAnzeige m_vorher;
    QList<common::MeldungsAnfrage> m_meldungen;
    QQueue<common::Antwort> m_antworten;
};

} // namespace archiv::test
