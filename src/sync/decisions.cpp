#include "sync/decisions.h"

#include "model/contactfields.h"
#include "model/vcardcontact.h"

#include <QMap>
#include <QSet>

#include <algorithm>

namespace Sync {

Plan plan(const QHash<QString, Synced> &last, const QHash<QString, Here> &here, const QHash<QString, QByteArray> &there,
          const QString &book, const QHash<QString, bool> &keepMine)
{
    Plan plan;
    QSet<QString> known; // hrefs of the last sync and of the contacts new here
    QStringList uids = last.keys() + here.keys();
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    for (const QString &uid : uids) {
        const Here state = here.value(uid, Here::Removed);
        const auto synced = last.constFind(uid);
        if (synced == last.cend()) {
            if (state == Here::Removed) // removed before it was ever sent
                continue;
            // A create of an earlier sync that the server stored without our
            // hearing of it: the card there is merged, never made twice.
            const QString href = book + uid + QStringLiteral(".vcf");
            known.insert(href);
            if (there.contains(href))
                plan.merge.append(uid), plan.fetch.append(href);
            else
                plan.create.append(uid);
            continue;
        }
        known.insert(synced->href);
        const auto etag = there.constFind(synced->href);
        if (etag == there.cend()) {
            if (state == Here::Unchanged)
                plan.removeHere.append(uid);
            else if (state == Here::Changed && keepMine.value(uid))
                plan.forget.append(uid), plan.create.append(uid); // the same UID, a card new there
            else if (state == Here::Changed && keepMine.contains(uid))
                plan.removeHere.append(uid);
            else if (state == Here::Changed)
                plan.conflicts.append({uid, Conflict::ChangedHereRemovedThere});
            else
                plan.forget.append(uid);
        } else if (!etag->isEmpty() && *etag == synced->etag) { // no ETag: no telling, so changed
            if (state == Here::Changed)
                plan.update.append(uid);
            else if (state == Here::Removed)
                plan.removeThere.append(uid);
        } else if (state == Here::Unchanged) {
            plan.fetch.append(synced->href);
        } else if (state == Here::Changed) {
            plan.merge.append(uid), plan.fetch.append(synced->href);
        } else if (keepMine.value(uid)) {
            plan.removeThere.append(uid); // over the server's change, at its ETag now
        } else if (keepMine.contains(uid)) {
            plan.forget.append(uid), plan.fetch.append(synced->href); // comes back here as new
        } else {
            plan.conflicts.append({uid, Conflict::RemovedHereChangedThere});
        }
    }
    QStringList added;
    for (auto it = there.cbegin(); it != there.cend(); ++it) {
        if (!known.contains(it.key()))
            added.append(it.key());
    }
    std::sort(added.begin(), added.end());
    plan.fetch += added;
    return plan;
}

QHash<QString, QByteArray> listingAfter(const QHash<QString, Synced> &last, const QHash<QString, QByteArray> &changed,
                                        const QStringList &removed)
{
    QHash<QString, QByteArray> listing;
    for (const Synced &synced : last)
        listing.insert(synced.href, synced.etag);
    listing.insert(changed);
    for (const QString &href : removed)
        listing.remove(href);
    return listing;
}

namespace {

using Vcard::Card;
using Vcard::Parameter;
using Vcard::Property;

// Fields whose lines are told apart by what the import reads from them: the
// number, address, birthday or children it took are the field, and another
// line of the same property (a second number, a spouse) is not.
bool readByRow(int row)
{
    const VcardKind kind = contactFields[row].vcard.kind;
    return kind != VcardKind::Notes && kind != VcardKind::Text;
}

// A row's field as a sync names it: its property, and a telephone's kind,
// since each kind is a field of its own.
QByteArray rowField(int row)
{
    const VcardMapping &vcard = contactFields[row].vcard;
    const QByteArray type = QByteArray(vcard.types).split(' ').first();
    return vcard.kind == VcardKind::Number && !type.isEmpty() ? QByteArray(vcard.property) + ";TYPE=" + type : QByteArray(vcard.property);
}

// A number, e-mail address or address the fields have no room for is a line
// of the notes, and a field of its own named by that line: the export keeps
// its property while the notes hold the line and leaves it out once they do
// not, so a line taken out here goes there too, and one added or changed
// there is a change of the notes here.
const QByteArray notesLine = "X-KINFOLIO-NOTES;X-LINE=";

// The field each property of a card is, as the import reads it; empty where
// it is none this program writes or shows. Its own files are a field each too.
QList<QByteArray> fieldsIn(const Card &card)
{
    static const QSet<QByteArray> single = {"FN", "N", "CATEGORIES", "NOTE", "PHOTO"};
    static const QSet<QByteArray> byRow = [] {
        QSet<QByteArray> names;
        for (int row = 0; row < int(contactFields.size()); ++row) {
            if (readByRow(row))
                names.insert(contactFields[row].vcard.property);
        }
        return names;
    }();
    QStringList lines;
    const QList<int> rows = Vcard::fieldRows(card, &lines);
    QList<QByteArray> fields;
    for (qsizetype i = 0; i < card.properties.size(); ++i) {
        const Property &property = card.properties[i];
        const int row = rows[i];
        if (!lines[i].isEmpty())
            fields.append(notesLine + lines[i].toUtf8());
        else if (row >= 0 && readByRow(row))
            fields.append(rowField(row));
        else if (property.name == "X-KINFOLIO-FILE")
            fields.append(property.name + ";X-NAME=" + property.parameter("X-NAME").value(0).toUtf8());
        else if (!byRow.contains(property.name) && (single.contains(property.name) || property.name.startsWith("X-KINFOLIO-")))
            fields.append(property.name);
        else
            fields.append(QByteArray());
    }
    return fields;
}

using Fields = QMap<QByteArray, QList<Property>>;

// The fields of a card as this program sees it: read as an import reads it
// and written as an export writes it with the card kept, so that what the
// program cannot show (an organisation, say) is no field, a change
// there is no change, and the notes never hold a number the card keeps in a
// line of its own.
Fields fieldsOf(const QByteArray &bytes)
{
    const QList<Card> cards = Vcard::parse(bytes);
    if (cards.isEmpty())
        return {};
    const Vcard::Imported in = Vcard::importCard(cards.first());
    if (!in.skipped.isEmpty())
        return {};
    Fields fields;
    const Card out = Vcard::parse(Vcard::exportContact({in.category, in.name, in.files, in.picture, in.kept})).value(0);
    const QList<QByteArray> names = fieldsIn(out);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!names[i].isEmpty())
            fields[names[i]].append(out.properties[i]);
    }
    return fields;
}

QString textOf(const QList<Property> &properties)
{
    QStringList texts;
    for (const Property &property : properties)
        texts.append(property.text());
    return texts.join(u'\n');
}

// The lines the properties are written as in a card of the version given, folded, each ending in CR LF.
QByteArray linesOf(const QList<Property> &properties, const QString &version)
{
    Card written;
    written.properties = version == u"3.0" ? Vcard::inVersion3(properties) : properties;
    const QByteArray card = Vcard::write(written);
    const qsizetype start = card.indexOf("\r\n", card.indexOf("VERSION:")) + 2;
    return card.mid(start, card.size() - start - qsizetype(sizeof("END:VCARD\r\n") - 1));
}

// A value written in place of the one a line held keeps that line's group,
// which ties other clients' labels to it, and its parameters in their order
// (another client's, a telephone's kinds), but for those this program writes
// as the value's form (VALUE=text, a picture's encoding, an address's label).
Property inPlaceOf(const Property &was, const Property &value)
{
    static const QSet<QByteArray> forms = {"VALUE", "ENCODING", "MEDIATYPE", "LABEL", "X-APPLE-OMIT-YEAR"};
    Property written = was;
    written.value = value.value;
    written.parameters.removeIf([&](const Parameter &p) {
        return (forms.contains(p.name) || (p.name == "TYPE" && was.name == "PHOTO")) && value.parameter(p.name).isEmpty();
    });
    for (const Parameter &parameter : value.parameters) {
        const auto same = std::find_if(written.parameters.begin(), written.parameters.end(),
                                       [&](const Parameter &p) { return p.name == parameter.name; });
        if (same == written.parameters.end())
            written.parameters.append(parameter);
        else if (parameter.name != "TYPE" || was.name == "PHOTO") // a telephone's or address's kinds stay as they were
            *same = parameter;
    }
    return written;
}

// The card with the fields given replaced, line by line: a field's lines go
// where its first line was, every other line stays as it was.
QByteArray rewrite(const QByteArray &card, const Fields &fields)
{
    // Its lines, each with the continuation lines folded under it.
    QList<QByteArray> lines;
    for (qsizetype at = 0; at < card.size();) {
        qsizetype end = card.indexOf('\n', at);
        end = end < 0 ? card.size() : end + 1;
        if (!lines.isEmpty() && (card[at] == ' ' || card[at] == '\t') && !lines.last().trimmed().isEmpty())
            lines.last() += card.mid(at, end - at);
        else
            lines.append(card.mid(at, end - at));
        at = end;
    }
    const Card parsed = Vcard::parse(card).value(0);
    const QList<QByteArray> parsedFields = fieldsIn(parsed);
    const QByteArray head = "BEGIN:VCARD\r\nVERSION:" + parsed.version.toUtf8() + "\r\n";
    QList<QByteArray> fieldOfLine;
    QList<Property> propertyOfLine;
    qsizetype next = 0; // the card's property the next line holds
    for (const QByteArray &line : lines) {
        const QByteArray upper = line.trimmed().toUpper();
        const bool frame = upper.startsWith("BEGIN:") || upper.startsWith("END:") || upper.startsWith("VERSION:");
        const Property property = frame ? Property() : Vcard::parse(head + line + "\r\nEND:VCARD\r\n").value(0).properties.value(0);
        const bool held = !frame && next < parsed.properties.size() && parsed.properties[next] == property;
        fieldOfLine.append(held ? parsedFields[next++] : QByteArray());
        propertyOfLine.append(property);
    }

    QByteArray out;
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &field = fieldOfLine[i];
        // Children, and a line of the notes that a card holds twice, are fields of several lines.
        const bool owned = !field.isEmpty() && (field == "RELATED" || field.startsWith(notesLine) || !seen.contains(field));
        if (lines[i].trimmed().toUpper() == "END:VCARD") {
            for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
                if (!seen.contains(it.key()))
                    out += linesOf(it.value(), parsed.version);
            }
            seen.unite(QSet<QByteArray>(fields.keyBegin(), fields.keyEnd()));
        }
        if (!owned || !fields.contains(field)) {
            out += lines[i];
        } else if (!seen.contains(field)) {
            QList<Property> properties = fields[field];
            if (properties.size() == 1)
                properties[0] = inPlaceOf(propertyOfLine[i], properties[0]);
            out += linesOf(properties, parsed.version);
        }
        if (owned)
            seen.insert(field);
    }
    return out;
}

} // namespace

QString fieldName(const QString &field)
{
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> all{{QStringLiteral("(contact)"), QStringLiteral("The whole contact")},
                                    {QStringLiteral("FN"), QStringLiteral("Name")},
                                    {QStringLiteral("N"), QStringLiteral("Name's parts")},
                                    {QStringLiteral("CATEGORIES"), QStringLiteral("Category")},
                                    {QStringLiteral("PHOTO"), QStringLiteral("Picture")}};
        for (int row = 0; row < int(contactFields.size()); ++row) {
            QString label = QString::fromLatin1(contactFields[row].label).trimmed();
            if (label.endsWith(u':'))
                label.chop(1);
            all.insert(QString::fromUtf8(rowField(row)), label);
            if (contactFields[row].vcard.kind == VcardKind::Notes) // also a NOTE, for other programs
                all.insert(QStringLiteral("NOTE"), label);
        }
        return all;
    }();
    return field.startsWith(QString::fromLatin1(notesLine)) ? names.value(QStringLiteral("NOTE")) : names.value(field, field);
}

Merged merge(const QByteArray &last, const QByteArray &here, const QByteArray &there, const QHash<QByteArray, Choice> &chosen)
{
    const Fields before = fieldsOf(last), mine = fieldsOf(here), theirs = fieldsOf(there);
    QSet<QByteArray> names;
    for (const Fields *fields : {&before, &mine, &theirs})
        names.unite(QSet<QByteArray>(fields->keyBegin(), fields->keyEnd()));
    QList<QByteArray> sorted(names.cbegin(), names.cend());
    std::sort(sorted.begin(), sorted.end());

    Merged merged;
    Fields changed;
    for (const QByteArray &name : sorted) {
        const QList<Property> was = before.value(name), is = mine.value(name), their = theirs.value(name);
        if (is == was || is == their)
            continue;
        const auto choice = chosen.constFind(name);
        if (their == was || (choice != chosen.cend() && choice->mine && choice->there == textOf(their)))
            changed.insert(name, is);
        else if (choice == chosen.cend() || choice->mine)
            merged.conflicts.append({name, textOf(is), textOf(their)});
    }
    merged.send = !changed.isEmpty();
    merged.card = merged.send ? rewrite(there, changed) : there;
    return merged;
}

} // namespace Sync
