#include "app/DatumFeld.h"

#include "common/Meldung.h"
#include "common/Texte.h"

namespace archiv::app {

DatumFeld::DatumFeld(QWidget *parent) : QLineEdit(parent)
{
    setPlaceholderText(QStringLiteral("TT.MM.JJJJ"));
    setMaxLength(10);
    connect(this, &QLineEdit::textChanged, this, [this] {
        // A date that cannot be read is shown so, instead of being searched as empty unnoticed.
        setStyleSheet(text().trimmed().isEmpty() || datum().isValid() ? QString() : QStringLiteral("color: #b00000;"));
    });
}

QDate DatumFeld::datum() const
{
    const QString t = text().trimmed();
    for (const char *form : {"d.M.yyyy", "d.M.yy", "yyyy-MM-dd"}) {
        QDate d = QDate::fromString(t, QLatin1String(form));
        if (d.isValid()) {
            if (QLatin1String(form) == QLatin1String("d.M.yy") && d.year() < 1950)
                d = d.addYears(100);
            return d;
        }
    }
    return {};
}

QString DatumFeld::wert() const
{
    const QDate d = datum();
    return d.isValid() ? d.toString(Qt::ISODate) : QString();
}

bool DatumFeld::pruefen()
{
    if (text().trimmed().isEmpty() || datum().isValid())
        return true;
    common::meldung(common::HauptTitel, QStringLiteral("Ungültiges Datum: ") + text().trimmed(), common::MeldungsSymbol::Ausruf);
    setFocus(Qt::OtherFocusReason);
    selectAll();
    return false;
}

void DatumFeld::setzeDatum(const QDate &datum)
{
    setText(datum.isValid() ? datum.toString(QStringLiteral("dd.MM.yyyy")) : QString());
}

} // namespace archiv::app
