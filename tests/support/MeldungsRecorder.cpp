#include "support/MeldungsRecorder.h"

namespace archiv::test {

using namespace archiv::common;

MeldungsRecorder::MeldungsRecorder()
{
    m_vorher = setzeMeldungsAnzeige([this](const MeldungsAnfrage &a) {
        m_meldungen.append(a);
        if (!m_antworten.isEmpty())
            return m_antworten.dequeue();
        return a.knoepfe == MeldungsKnoepfe::JaNein || a.knoepfe == MeldungsKnoepfe::JaNeinAbbrechen ? Antwort::Ja : Antwort::Ok;
    });
}

MeldungsRecorder::~MeldungsRecorder()
{
    setzeMeldungsAnzeige(std::move(m_vorher));
}

QStringList MeldungsRecorder::texte() const
{
    QStringList t;
    for (const auto &m : m_meldungen)
        t << m.text;
    return t;
}

} // namespace archiv::test
