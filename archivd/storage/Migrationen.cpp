#include "storage/Migrationen.h"
#include "storage/Pruefkette.h"

#include "common/Faltung.h"
#include "storage/Datenbank.h"

namespace archiv::archivd {

namespace {

// Every table carries id and version; version counts saves so that a save
// made from a stale copy is refused.
Migration ersteVersion()
{
    return {1,
            {
                "CREATE TABLE blobs (sha256 TEXT PRIMARY KEY, size %BIGINT% NOT NULL, data %BLOB% NOT NULL, "
                "created TEXT NOT NULL)",
                "CREATE TABLE stream_history (id %ID%, class TEXT NOT NULL, object_id %BIGINT% NOT NULL, "
                "member TEXT NOT NULL, blob TEXT NOT NULL REFERENCES blobs(sha256), size %BIGINT% NOT NULL, replaced TEXT NOT NULL)",
                "CREATE INDEX stream_history_object ON stream_history (class, object_id)",

                "CREATE TABLE ar_firma (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL UNIQUE, name TEXT)",
                "CREATE TABLE ar_belart (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "belart TEXT NOT NULL, bezeichnung TEXT, vollstaendig TEXT, wws TEXT, barcode TEXT, lastbelnrbarc %BIGINT%, "
                "UNIQUE (firma, belart))",
                "CREATE TABLE ar_belartindex (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT%, belart TEXT, "
                "eigenschaft %BIGINT%, bezeichnung TEXT, reihenfolge %BIGINT%, auswahl TEXT, suche TEXT, aendern TEXT, "
                "anzeige TEXT, neu TEXT, zielbelart TEXT)",
                "CREATE INDEX ar_belartindex_typ ON ar_belartindex (firma, belart, reihenfolge)",
                "CREATE TABLE ar_dokumente (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT%, "
                "idbelart %BIGINT% REFERENCES ar_belart(id), belnr TEXT, datum TEXT, zeit TEXT, privatjn TEXT, picsw %BIGINT%, "
                "text TEXT, storno TEXT, aenderung TEXT)",
                "CREATE INDEX ar_dokumente_typ_datum ON ar_dokumente (idbelart, datum, zeit)",
                "CREATE INDEX ar_dokumente_firma_datum ON ar_dokumente (firma, datum, zeit)",
                "CREATE INDEX ar_dokumente_belnr ON ar_dokumente (idbelart, belnr)",
                "CREATE TABLE ar_dokuments (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, "
                "parent_id %BIGINT% NOT NULL REFERENCES ar_dokumente(id) ON DELETE CASCADE, position %BIGINT% NOT NULL, "
                "daterst TEXT, doktext TEXT, doktyp TEXT, dok_blob TEXT REFERENCES blobs(sha256), dok_size %BIGINT%)",
                "CREATE INDEX ar_dokuments_parent ON ar_dokuments (parent_id, position)",
                "CREATE TABLE ar_extind (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT%, eigenschaft %BIGINT%, "
                "iddokumente %BIGINT% REFERENCES ar_dokumente(id) ON DELETE CASCADE, wert TEXT)",
                "CREATE INDEX ar_extind_beleg ON ar_extind (iddokumente, eigenschaft)",
                "CREATE INDEX ar_extind_wert ON ar_extind (firma, eigenschaft, wert)",
                "CREATE TABLE ar_scandat (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, dok_blob TEXT REFERENCES blobs(sha256), "
                "dok_size %BIGINT%, seite %BIGINT%, dokument TEXT, "
                "iddokumente %BIGINT% REFERENCES ar_dokumente(id) ON DELETE SET NULL, datum TEXT)",
                "CREATE INDEX ar_scandat_dokument ON ar_scandat (dokument, seite)",
                "CREATE TABLE ar_sicherung (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, "
                "iddokumente %BIGINT% REFERENCES ar_dokumente(id) ON DELETE CASCADE, dvd TEXT, datum TEXT)",
                "CREATE INDEX ar_sicherung_beleg ON ar_sicherung (iddokumente)",
                "CREATE TABLE ar_kundgrp (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "kgrp TEXT NOT NULL, name TEXT, UNIQUE (firma, kgrp))",
                "CREATE TABLE ar_kund (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "knr %BIGINT% NOT NULL, kgrp TEXT, name TEXT, kurzbez TEXT, plz TEXT, ort TEXT, UNIQUE (firma, knr))",
                "CREATE TABLE ar_lieftyp (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "lieftyp TEXT NOT NULL, name TEXT, UNIQUE (firma, lieftyp))",
                "CREATE TABLE ar_lief (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "lnr %BIGINT% NOT NULL, lieftyp TEXT, name TEXT, kurzbez TEXT, plz TEXT, ort TEXT, UNIQUE (firma, lnr))",
                "CREATE TABLE ar_artikel (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "artnr %BIGINT% NOT NULL, abtnr TEXT, bezeichnung TEXT, kurzbez TEXT, UNIQUE (firma, artnr))",
                "CREATE TABLE ar_abtnr1 (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "abtnr TEXT NOT NULL, name TEXT, UNIQUE (firma, abtnr))",
                "CREATE TABLE ar_abtnr2 (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "abtnr TEXT NOT NULL, name TEXT, UNIQUE (firma, abtnr))",
                "CREATE TABLE ar_mitarb (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "mitarb TEXT NOT NULL, name TEXT, UNIQUE (firma, mitarb))",
                "CREATE TABLE ar_kassa (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "kassa %BIGINT% NOT NULL, name TEXT, UNIQUE (firma, kassa))",
                "CREATE TABLE ts_parpersedv (id %ID%, version %BIGINT% NOT NULL DEFAULT 1, firma %BIGINT% NOT NULL, "
                "pcode TEXT NOT NULL, pname TEXT, aktiv TEXT, passwort TEXT, UNIQUE (firma, pcode))",
            }};
}

// The search compares index values without regard to case, and finds the
// Belege that refer to a number.
Migration suchIndizes()
{
    return {2,
            {
                "CREATE INDEX ar_extind_wert_klein ON ar_extind (firma, eigenschaft, lower(wert))",
                "CREATE INDEX ar_extind_firma_wert ON ar_extind (firma, wert)",
                "CREATE INDEX ar_belartindex_eigenschaft ON ar_belartindex (belart, eigenschaft)",
            }};
}

// Equality on index values goes through the case-folded index; with the
// plain one beside it the planner may scan a whole property instead.
Migration nurGefalteterWertIndex()
{
    return {3, {"DROP INDEX ar_extind_wert"}};
}

// SQLite's lower() folds ASCII only, so "Überweisung" was never found by
// "überweisung": index values get a folded copy, computed by the server
// with one function on every database.
Migration gefalteteWerte()
{
    return {4, {"ALTER TABLE ar_extind ADD COLUMN wert_gefaltet TEXT"}, [](Datenbank &db) {
                qint64 letzte = 0;
                for (;;) {
                    const QList<SqlZeile> zeilen = db.abfragen(
                        QStringLiteral("SELECT id, wert FROM ar_extind WHERE id > ? AND wert IS NOT NULL ORDER BY id LIMIT 5000"), {letzte});
                    if (zeilen.isEmpty())
                        break;
                    for (const SqlZeile &z : zeilen)
                        db.ausfuehren(QStringLiteral("UPDATE ar_extind SET wert_gefaltet = ? WHERE id = ?"),
                                      {common::gefaltet(z.at(1).toString()), z.at(0)});
                    letzte = zeilen.last().at(0).toLongLong();
                }
            }};
}

Migration gefalteterWertIndex()
{
    return {5,
            {
                "CREATE INDEX ar_extind_wert_gefaltet ON ar_extind (firma, eigenschaft, wert_gefaltet)",
                "DROP INDEX ar_extind_wert_klein",
            }};
}

// Document files in parts of a megabyte: a file is received, stored and sent
// a part at a time. Blobs of the old form keep their bytes in blobs.data
// (teile NULL).
Migration blobTeile()
{
    return {6,
            {
                "ALTER TABLE blobs ADD COLUMN teile %BIGINT%",
                "CREATE TABLE blob_teile (sha256 TEXT NOT NULL REFERENCES blobs(sha256), nr %BIGINT% NOT NULL, data %BLOB% NOT NULL, "
                "PRIMARY KEY (sha256, nr))",
            }};
}

// A backup records its moment, not only its day: a Beleg changed later on
// the same day is due again.
Migration sicherungZeitpunkt()
{
    return {7, {"ALTER TABLE ar_sicherung ADD COLUMN zeitpunkt TEXT"}};
}

// Each label run's number range, so that a printed label code names the
// type whose labels carried it.
Migration etikettenlaeufe()
{
    return {8,
            {"CREATE TABLE ar_etikettenlauf (id %ID%, firma %BIGINT% NOT NULL, belart TEXT NOT NULL, von %BIGINT% NOT NULL, "
             "bis %BIGINT% NOT NULL, zeitpunkt TEXT)",
             "CREATE INDEX ar_etikettenlauf_bereich ON ar_etikettenlauf (von, bis)"}};
}

// A company's business year may begin in another month than January.
Migration wirtschaftsjahr()
{
    return {9, {"ALTER TABLE ar_firma ADD COLUMN wjbeginn %BIGINT%"}};
}

// The workstations that may reach the server (only a hash of each access
// key is kept), and the trail of every write made over the wire: appended
// in the write's own transaction, never changed.
Migration zugangUndProtokoll()
{
    return {10,
            {"CREATE TABLE ar_arbeitsplatz (id %ID%, name TEXT NOT NULL UNIQUE, schluessel TEXT NOT NULL, angelegt TEXT NOT NULL, "
             "widerrufen TEXT)",
             "CREATE TABLE ar_protokoll (id %ID%, zeit TEXT NOT NULL, arbeitsplatz TEXT NOT NULL, benutzer TEXT, klasse TEXT NOT NULL, "
             "objekt TEXT, aktion TEXT NOT NULL, version %BIGINT%, beleg %BIGINT%, dateien TEXT)",
             "CREATE INDEX ar_protokoll_beleg ON ar_protokoll (beleg, id)"}};
}

// Sessions of logged-in users live in the database, so that several
// servers on one PostgreSQL database share them and a restart keeps them.
Migration sitzungen()
{
    return {11,
            {"CREATE TABLE ar_sitzung (id %ID%, token TEXT NOT NULL UNIQUE, benutzer TEXT NOT NULL, arbeitsplatz TEXT NOT NULL, "
             "beginn TEXT NOT NULL, zuletzt TEXT NOT NULL)"}};
}

// A scan-store record taken into an editor (or by a transfer) is held by the
// session that took it, so that no other workstation files the same page.
Migration scanGenommen()
{
    return {12, {"ALTER TABLE ar_scandat ADD COLUMN genommen TEXT", "ALTER TABLE ar_scandat ADD COLUMN genommen_seit TEXT"}};
}

// A session belongs to the key of the workstation that opened it, a key to
// the certificate it was issued for; uploads not yet saved into any object
// are kept on record per workstation, so that they can be bounded and,
// when nothing refers to them after a day, removed.
Migration sitzungUndHochladung()
{
    return {13,
            {"ALTER TABLE ar_sitzung ADD COLUMN schluessel TEXT", "ALTER TABLE ar_arbeitsplatz ADD COLUMN zertifikat TEXT",
             "CREATE TABLE ar_hochladung (id %ID%, blob TEXT NOT NULL, arbeitsplatz TEXT NOT NULL, groesse %BIGINT% NOT NULL, "
             "zeit TEXT NOT NULL)",
             "CREATE INDEX ar_hochladung_blob ON ar_hochladung (blob)", "CREATE INDEX ar_hochladung_platz ON ar_hochladung (arbeitsplatz)"}};
}

// Received files kept as they came: a document element and a digital record
// of the scan store name the file as received (and an element the report of
// the e-invoice check); suppliers are found by VAT ID and tax number; a type
// may take e-invoices.
Migration digitaleOriginale()
{
    return {14,
            {"ALTER TABLE ar_dokuments ADD COLUMN dateiname TEXT", "ALTER TABLE ar_dokuments ADD COLUMN bericht TEXT",
             "ALTER TABLE ar_scandat ADD COLUMN dateiname TEXT", "ALTER TABLE ar_scandat ADD COLUMN doktyp TEXT",
             "ALTER TABLE ar_lief ADD COLUMN ustid TEXT", "ALTER TABLE ar_lief ADD COLUMN steuernr TEXT",
             "ALTER TABLE ar_belart ADD COLUMN erechnung TEXT", "CREATE INDEX ar_lief_ustid ON ar_lief (firma, ustid)"}};
}

// The full-text index: a job queue that workers of any server share, the
// text read of each element's file (per file, so an old version keeps its
// text) and of each page with its word boxes. SQLite indexes the text with
// FTS5, PostgreSQL with a tsvector and GIN.
Migration volltext()
{
    return {15,
            {"CREATE TABLE ar_volltext_auftrag (id %ID%, element %BIGINT% NOT NULL, blob TEXT NOT NULL, vorrang %BIGINT% NOT NULL, "
             "zustand TEXT NOT NULL, versuche %BIGINT% NOT NULL, fehler TEXT, seiten %BIGINT%, angelegt TEXT NOT NULL, begonnen TEXT, "
             "fertig TEXT)",
             "CREATE INDEX ar_volltext_auftrag_zustand ON ar_volltext_auftrag (zustand, vorrang, id)",
             "CREATE INDEX ar_volltext_auftrag_element ON ar_volltext_auftrag (element, blob)",
             "CREATE TABLE ar_volltext (id %ID%, element %BIGINT% NOT NULL, blob TEXT NOT NULL, text TEXT NOT NULL)",
             "CREATE INDEX ar_volltext_element ON ar_volltext (element, blob)",
             "CREATE TABLE ar_volltext_seite (id %ID%, volltext %BIGINT% NOT NULL, seite %BIGINT% NOT NULL, text TEXT, woerter TEXT)",
             "CREATE INDEX ar_volltext_seite_volltext ON ar_volltext_seite (volltext, seite)"},
            {},
            {"CREATE VIRTUAL TABLE ar_volltext_fts USING fts5(text, content='ar_volltext', content_rowid='id', "
             "tokenize='unicode61 remove_diacritics 2')",
             "CREATE TRIGGER ar_volltext_neu AFTER INSERT ON ar_volltext BEGIN "
             "INSERT INTO ar_volltext_fts (rowid, text) VALUES (new.id, new.text); END",
             "CREATE TRIGGER ar_volltext_weg AFTER DELETE ON ar_volltext BEGIN "
             "INSERT INTO ar_volltext_fts (ar_volltext_fts, rowid, text) VALUES ('delete', old.id, old.text); END"},
            {"ALTER TABLE ar_volltext ADD COLUMN tsv tsvector", "CREATE INDEX ar_volltext_tsv ON ar_volltext USING GIN (tsv)"}};
}

// The audit trail as a hash chain: each entry's number, the hash of the one
// before it, its own and the state of its Beleg after the write; the chain's
// head in a row of its own. An archive from before gets one entry per Beleg
// and per file with what it holds, and its entries put on the chain.
Migration protokollkette()
{
    return {16,
            {"ALTER TABLE ar_protokoll ADD COLUMN nr %BIGINT%", "ALTER TABLE ar_protokoll ADD COLUMN zustand TEXT",
             "ALTER TABLE ar_protokoll ADD COLUMN vorgaenger TEXT", "ALTER TABLE ar_protokoll ADD COLUMN hash TEXT",
             "CREATE UNIQUE INDEX ar_protokoll_nr ON ar_protokoll (nr)",
             "CREATE TABLE ar_protokoll_kopf (id %BIGINT% PRIMARY KEY, nr %BIGINT% NOT NULL, hash TEXT NOT NULL)"},
            [](Datenbank &db) {
                db.ausfuehren(QStringLiteral("INSERT INTO ar_protokoll_kopf (id, nr, hash) VALUES (1, 0, ?)"), {pruefkette::Anfang});
                pruefkette::nachtragen(db);
            }};
}

// A file's users found by its id: an upload asks whether a document holds
// the file already, the intake whether it holds the same bytes; without
// these each was a scan of every document (90 ms on a million).
Migration dateiVerwendung()
{
    return {17,
            {"CREATE INDEX ar_dokuments_blob ON ar_dokuments (dok_blob)", "CREATE INDEX ar_scandat_blob ON ar_scandat (dok_blob)",
             "CREATE INDEX stream_history_blob ON stream_history (blob)"}};
}

} // namespace

const QList<Migration> &migrationen()
{
    static const QList<Migration> alle{
        ersteVersion(), suchIndizes(),        nurGefalteterWertIndex(), gefalteteWerte(),  gefalteterWertIndex(),
        blobTeile(),    sicherungZeitpunkt(), etikettenlaeufe(),        wirtschaftsjahr(), zugangUndProtokoll(),
        sitzungen(),    scanGenommen(),       sitzungUndHochladung(),   digitaleOriginale(), volltext(),
        protokollkette(), dateiVerwendung()};
    return alle;
}

} // namespace archiv::archivd
