#include "model/vcardcontact.h"

#include "model/contactfields.h"
#include "store/keptcards.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>

namespace Vcard {

namespace {

const QString imported = QStringLiteral("Imported");
// Our cards are told by their PRODID or by a property of our own.
const QString productId = QStringLiteral("-//Kinfolio//Kinfolio//EN");
const QByteArray kinfolioPrefix = "X-KINFOLIO-";
const QByteArray fileProperty = "X-KINFOLIO-FILE";
const QByteArray fileParameter = "X-NAME";
// No address book's photo comes near it; a file that large is no photo.
constexpr qsizetype maxPictureBytes = 20 << 20;

Property property(const char *name, const QString &value, const QList<Parameter> &parameters = {})
{
    return Property{{}, name, parameters, value};
}

QStringList fields(const QByteArray &bytes, qsizetype count = -1)
{
    RecordFile::Reader reader(bytes);
    QStringList values;
    QString value;
    while ((count < 0 || values.size() < count) && reader.readField(value))
        values.append(value);
    return values;
}

// ---- pictures

QString imageSuffix(const QByteArray &bytes, const QString &mediaType)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("gif");
    if (bytes.startsWith("BM"))
        return QStringLiteral("bmp");
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral("webp");
    if (bytes.startsWith(QByteArrayView("II*\0", 4)) || bytes.startsWith(QByteArrayView("MM\0*", 4)))
        return QStringLiteral("tif");
    static const QRegularExpression named(QStringLiteral("^image/([a-z0-9]{1,8})$"));
    const QRegularExpressionMatch match = named.match(mediaType);
    if (!match.hasMatch())
        return QStringLiteral("img");
    return match.captured(1) == QLatin1String("jpeg") ? QStringLiteral("jpg") : match.captured(1);
}

QString mediaTypeOf(const QString &suffix)
{
    if (suffix == QLatin1String("jpg"))
        return QStringLiteral("image/jpeg");
    if (suffix == QLatin1String("tif"))
        return QStringLiteral("image/tiff");
    if (suffix == QLatin1String("img"))
        return QStringLiteral("application/octet-stream");
    return QStringLiteral("image/") + suffix;
}

QString dataUri(const QString &mediaType, const QByteArray &bytes)
{
    return QStringLiteral("data:") + mediaType + QStringLiteral(";base64,") + QString::fromLatin1(bytes.toBase64());
}

// ---- birthdays: a date where the text is one, else the text

QString birthdayOut(const QString &text, QList<Parameter> &parameters)
{
    static const QRegularExpression full(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    static const QRegularExpression yearless(QStringLiteral("^--(\\d{2})-(\\d{2})$"));
    QRegularExpressionMatch match = full.match(text);
    if (match.hasMatch() && QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()).isValid())
        return match.captured(1) + match.captured(2) + match.captured(3);
    match = yearless.match(text);
    if (match.hasMatch() && QDate(2000, match.captured(1).toInt(), match.captured(2).toInt()).isValid())
        return QStringLiteral("--") + match.captured(1) + match.captured(2);
    parameters.append({"VALUE", {QStringLiteral("text")}});
    return escape(text);
}

QString birthdayIn(const Property &bday)
{
    const QString text = bday.text();
    if (bday.parameter("VALUE").contains(QLatin1String("text"), Qt::CaseInsensitive))
        return text;
    static const QRegularExpression full(QStringLiteral("^(\\d{4})-?(\\d{2})-?(\\d{2})(T.*)?$"));
    static const QRegularExpression yearless(QStringLiteral("^--(\\d{2})-?(\\d{2})(T.*)?$"));
    const QString trimmed = text.trimmed();
    QRegularExpressionMatch match = full.match(trimmed);
    if (match.hasMatch()) {
        // Apple marks a birthday without a year by a year of its choice.
        if (bday.parameter("X-APPLE-OMIT-YEAR").contains(match.captured(1)))
            return QStringLiteral("--") + match.captured(2) + u'-' + match.captured(3);
        return match.captured(1) + u'-' + match.captured(2) + u'-' + match.captured(3);
    }
    match = yearless.match(trimmed);
    if (match.hasMatch())
        return QStringLiteral("--") + match.captured(1) + u'-' + match.captured(2);
    return text;
}

// ---- names

bool fits(const QString &name, const QString &category)
{
    // A UTF-16 unit takes at most three bytes, and the suffixes are ASCII:
    // most names fit without encoding them.
    static const qsizetype longestSuffix =
        std::max_element(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                         [](const QString &a, const QString &b) { return a.size() < b.size(); })
            ->size();
    if (3 * (name.size() + std::max(category.size(), qsizetype(1))) + FileName::NamesList.size() + longestSuffix
        <= Store::maxFileNameBytes)
        return true;
    if (category.isEmpty()) {
        if (!Store::fitsFileName(FileName::NamesList, name))
            return false;
        // Room for a contact of a one-letter name in it.
        return std::all_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                           [&](const QString &suffix) { return Store::fitsFileName(name, QStringLiteral("x"), suffix); });
    }
    return std::all_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                       [&](const QString &suffix) { return Store::fitsFileName(category, name, suffix); });
}

// The first name the card gives: FN, else N, else ORG, else EMAIL.
QString nameOf(const Card &card)
{
    for (const Property *fn : card.all("FN")) {
        if (!fn->text().trimmed().isEmpty())
            return fn->text();
    }
    if (const Property *n = card.first("N")) {
        // family; given; additional; prefixes; suffixes, read in the order people write them
        const QStringList parts = n->components();
        QStringList ordered;
        for (const int index : {3, 1, 2, 0, 4}) {
            const QString part = parts.value(index).simplified();
            if (!part.isEmpty())
                ordered.append(part);
        }
        if (!ordered.isEmpty())
            return ordered.join(u' ');
    }
    if (const Property *org = card.first("ORG")) {
        const QString company = org->components().value(0).trimmed();
        if (!company.isEmpty())
            return company;
    }
    if (const Property *email = card.first("EMAIL"))
        return email->text().trimmed();
    return {};
}

// ---- addresses

QString addressFromComponents(const QStringList &parts)
{
    // post office box; extended; street; locality; region; postal code; country
    const auto join = [](const QStringList &texts, const QString &separator) {
        QStringList kept;
        for (const QString &text : texts) {
            if (!text.trimmed().isEmpty())
                kept.append(text.trimmed());
        }
        return kept.join(separator);
    };
    const QString place = join({join({parts.value(3), parts.value(4)}, QStringLiteral(", ")), parts.value(5)},
                               QStringLiteral(" "));
    return join({parts.value(0), parts.value(1), parts.value(2), place, parts.value(6)}, QStringLiteral("\n"));
}

QStringList kinds(const Property &property)
{
    QStringList types;
    for (const QString &type : property.parameter("TYPE")) {
        const QString lower = type.trimmed().toLower();
        if (lower != QLatin1String("pref") && lower != QLatin1String("voice") && lower != QLatin1String("internet")
            && !lower.isEmpty())
            types.append(lower);
    }
    types.sort();
    return types;
}

// The first of the properties in each group, so that a number or an
// address finds its label in one look however many the card holds.
struct Index
{
    explicit Index(const QList<const Property *> &properties)
    {
        for (const Property *property : properties) {
            if (!property->group.isEmpty() && !byGroup.contains(property->group.toLower()))
                byGroup.insert(property->group.toLower(), property);
        }
    }

    QHash<QByteArray, const Property *> byGroup;
};

// Apple's own label of a grouped property: "_$!<Mobile>!$_" or the user's text.
QString appleLabel(const Index &labels, const Property &property)
{
    const Property *label = property.group.isEmpty() ? nullptr : labels.byGroup.value(property.group.toLower());
    if (!label)
        return {};
    QString text = label->text();
    if (text.startsWith(QLatin1String("_$!<")) && text.endsWith(QLatin1String(">!$_")))
        text = text.mid(4, text.size() - 8);
    return text.trimmed();
}

bool hasLabelParameter(const Property &adr)
{
    const QStringList label = adr.parameter("LABEL");
    return !label.isEmpty() && !label.first().isEmpty();
}

// vCard 3.0 and 2.1 give an address's label as a property of its own,
// grouped with the address or of the same type: of two home addresses the
// first takes the first home label, the second the second.
QHash<const Property *, const Property *> labelsOf(const Card &card, const QList<const Property *> &addresses)
{
    const QList<const Property *> labels = card.all("LABEL");
    const Index grouped(labels);
    QHash<const Property *, const Property *> paired;
    QSet<const Property *> taken;
    for (const Property *adr : addresses) {
        if (adr->name == "LABEL" || hasLabelParameter(*adr))
            continue;
        if (!adr->group.isEmpty()) {
            if (const Property *label = grouped.byGroup.value(adr->group.toLower()))
                paired.insert(adr, label);
            continue;
        }
        const QStringList types = kinds(*adr);
        const auto label = std::find_if(labels.cbegin(), labels.cend(), [&](const Property *l) {
            return l->group.isEmpty() && !taken.contains(l) && kinds(*l) == types;
        });
        if (label != labels.cend()) {
            taken.insert(*label);
            paired.insert(adr, *label);
        }
    }
    return paired;
}

QString addressText(const QHash<const Property *, const Property *> &labels, const Property &adr)
{
    if (adr.name == "LABEL")
        return adr.text();
    // LABEL="12 Elm St\nLeeds", its line breaks escaped as in a value.
    if (hasLabelParameter(adr))
        return Property{{}, {}, {}, adr.parameter("LABEL").first()}.text();
    const Property *other = labels.value(&adr);
    return other ? other->text() : addressFromComponents(adr.components());
}

// ---- what a card holds, field by field

constexpr int fieldCount = int(std::tuple_size_v<std::remove_cvref_t<decltype(contactFields)>>);

const VcardMapping &mappingOf(int row)
{
    return contactFields[row].vcard;
}

constexpr int kindCount = int(VcardKind::Dependants) + 1;

// The rows of a kind, in table order.
const QList<int> &rowsOf(VcardKind kind)
{
    static const std::array<QList<int>, kindCount> rows = [] {
        std::array<QList<int>, kindCount> all;
        for (int row = 0; row < fieldCount; ++row)
            all[int(mappingOf(row).kind)].append(row);
        return all;
    }();
    return rows[int(kind)];
}

// Each row's TYPE values, read once.
const std::array<QStringList, fieldCount> &typesOf()
{
    static const std::array<QStringList, fieldCount> types = [] {
        std::array<QStringList, fieldCount> all;
        for (int row = 0; row < fieldCount; ++row)
            all[row] = QString::fromLatin1(mappingOf(row).types).split(u' ', Qt::SkipEmptyParts);
        return all;
    }();
    return types;
}

bool hasTypeOf(const Property &property, int row)
{
    const QStringList types = property.parameter("TYPE");
    return std::any_of(typesOf()[row].cbegin(), typesOf()[row].cend(),
                       [&](const QString &type) { return types.contains(type, Qt::CaseInsensitive); });
}

// The files of the fields, each with its fields' rows by their place in its record.
struct FieldFile
{
    QString suffix;
    QList<int> rows;
    bool list;
};

const QList<FieldFile> &fieldFiles()
{
    static const QList<FieldFile> files = [] {
        QList<FieldFile> all;
        for (const QString &suffix : ContactFields::files()) {
            FieldFile file{suffix, {}, false};
            for (const ContactField *field : ContactFields::inFile(suffix)) {
                file.rows.append(int(field - contactFields.data()));
                file.list = field->isList();
            }
            all.append(file);
        }
        return all;
    }();
    return files;
}

QList<Parameter> typeParameter(int row)
{
    const QStringList &types = typesOf()[row];
    return types.isEmpty() ? QList<Parameter>() : QList<Parameter>{{"TYPE", {types.first()}}};
}

struct Fields
{
    // Each field's value (a list's entries, another field's one value) and
    // where the card holds it (indexes of its properties), so that an export
    // puts a changed field back in its place and keeps the rest.
    std::array<QStringList, fieldCount> values;
    std::array<QList<qsizetype>, fieldCount> sources;
    QStringList extra; // numbers, e-mail addresses and addresses the fields have no room for
    QList<qsizetype> extraSources; // one for each line of extra
    QHash<qsizetype, qsizetype> extraLabels; // the label property of an address in extra, by the address's index
    bool noteEditedElsewhere = false; // the notes are the NOTE, not the stale text of our own property

    QString value(int row) const { return values[row].value(0); }
};

qsizetype indexIn(const Card &card, const Property *property)
{
    return property - card.properties.constData();
}

// The number field a TEL or EMAIL fills, -1 for none. Of several types a
// kind of telephone (cell, fax) wins over a place (home, work), since a work
// cell phone is a cell phone, and a later row over an earlier (a cell fax is
// a fax); one of no row's type fills the row of its property without one.
int numberRow(const Property &property)
{
    int best = -1;
    int bestRank = -1;
    int untyped = -1;
    for (const int row : rowsOf(VcardKind::Number)) {
        if (property.name != mappingOf(row).property)
            continue;
        const QStringList &types = typesOf()[row];
        if (types.isEmpty()) {
            untyped = row;
            continue;
        }
        const bool place = types.first() == QLatin1String("home") || types.first() == QLatin1String("work");
        const int rank = row + (place ? 0 : fieldCount);
        if (rank > bestRank && hasTypeOf(property, row)) {
            best = row;
            bestRank = rank;
        }
    }
    return best >= 0 ? best : untyped;
}

QString numberOf(const Property &property)
{
    const QString number = property.text();
    return property.name == "TEL" && number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive) ? number.sliced(4)
                                                                                                   : number;
}

// How much the card prefers the property: vCard 4.0's PREF=1 (most) to 100,
// 3.0's TYPE=pref as 1, none as 101.
int preference(const Property &property)
{
    bool number = false;
    const int pref = property.parameter("PREF").value(0).toInt(&number);
    if (number && pref >= 1 && pref <= 100)
        return pref;
    return property.hasType(QLatin1String("pref")) ? 1 : 101;
}

void readNumbers(const Card &card, Fields &f)
{
    // The properties of the number fields, each once, in table order.
    QList<QByteArrayView> names;
    for (const int row : rowsOf(VcardKind::Number)) {
        if (!names.contains(mappingOf(row).property))
            names.append(mappingOf(row).property);
    }
    QList<const Property *> numbers;
    for (const QByteArrayView name : names)
        numbers += card.all(name);
    // Each field takes the card's preferred one of its kind, else the first.
    QList<int> rows;
    std::array<const Property *, fieldCount> chosen{};
    for (const Property *number : numbers) {
        const int row = numberOf(*number).trimmed().isEmpty() ? -1 : numberRow(*number);
        rows.append(row);
        if (row >= 0 && (!chosen[row] || preference(*number) < preference(*chosen[row])))
            chosen[row] = number;
    }
    const Index labels(card.all("X-ABLABEL"));
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        const Property *source = numbers[i];
        const QString number = numberOf(*source);
        if (number.trimmed().isEmpty())
            continue;
        const int row = rows[i];
        QString line;
        if (row >= 0 && chosen[row] == source) {
            f.values[row] = {number};
            f.sources[row] = {indexIn(card, source)};
            continue;
        }
        if (row >= 0) {
            line = QString::fromLatin1(contactFields[row].label).trimmed();
        } else {
            QString label = appleLabel(labels, *source);
            if (label.isEmpty())
                label = source->parameter("X-CUSTOM").value(0).trimmed(); // Samsung's
            if (label.isEmpty())
                label = kinds(*source).join(u'/');
            line = label.isEmpty() ? QStringLiteral("Phone #:") : QStringLiteral("Phone # (") + label + QStringLiteral("):");
        }
        f.extra.append(line + u' ' + number);
        f.extraSources.append(indexIn(card, source));
    }
}

void readAddresses(const Card &card, Fields &f)
{
    const QList<int> rows = rowsOf(VcardKind::Address);
    if (rows.isEmpty())
        return;
    QList<const Property *> addresses = card.all(mappingOf(rows.first()).property);
    if (addresses.isEmpty())
        addresses = card.all("LABEL");
    // Each field takes the first address of its type, else the first left.
    QHash<const Property *, int> chosen;
    for (const bool anyType : {false, true}) {
        for (const int row : rows) {
            if (chosen.key(row) != nullptr)
                continue;
            const auto found = std::find_if(addresses.cbegin(), addresses.cend(), [&](const Property *adr) {
                return !chosen.contains(adr) && (anyType || hasTypeOf(*adr, row));
            });
            if (found != addresses.cend())
                chosen.insert(*found, row);
        }
    }
    const QHash<const Property *, const Property *> labels = labelsOf(card, addresses);
    for (const Property *adr : addresses) {
        const QString text = addressText(labels, *adr);
        if (const int row = chosen.value(adr, -1); row >= 0) {
            f.values[row] = {text};
            f.sources[row] = {indexIn(card, adr)};
            // The label goes with its address: a changed one is not left saying the old.
            if (const Property *label = labels.value(adr))
                f.sources[row].append(indexIn(card, label));
        } else if (!text.trimmed().isEmpty()) {
            const QString kind = kinds(*adr).join(u'/');
            f.extra.append((kind.isEmpty() ? QStringLiteral("Address:") : QStringLiteral("Address (") + kind + QStringLiteral("):"))
                           + u' ' + text.split(u'\n', Qt::SkipEmptyParts).join(QStringLiteral(", ")));
            f.extraSources.append(indexIn(card, adr));
            if (const Property *label = labels.value(adr))
                f.extraLabels.insert(indexIn(card, adr), indexIn(card, label));
        }
    }
}

// Children and dependants: TYPE=child, Apple's child, son and daughter, and
// this program's own, which has no type and is text. Spouses, friends, an
// untyped link to another card (a URI) and the rest stay with the card.
void readDependants(const Card &card, bool ours, Fields &f)
{
    const Index labels(card.all("X-ABLABEL"));
    for (const int row : rowsOf(VcardKind::Dependants)) {
        const QByteArrayView name = mappingOf(row).property;
        for (const Property *related : card.all(name) + card.all("X-ABRELATEDNAMES")) {
            if (related->text().trimmed().isEmpty())
                continue;
            const QString label = appleLabel(labels, *related).toLower();
            if (related->hasType(QLatin1String("child")) || label == QLatin1String("child") || label == QLatin1String("son")
                || label == QLatin1String("daughter") || (ours && related->name == name && related->parameter("TYPE").isEmpty()
                    && related->parameter("VALUE").contains(QLatin1String("text"), Qt::CaseInsensitive))) {
                f.values[row].append(related->text());
                f.sources[row].append(indexIn(card, related));
            }
        }
    }
}

// The notes and the program's own texts, each from its own property; a card
// without any of those gives its NOTE as the notes.
void readNotes(const Card &card, Fields &f)
{
    const QList<int> rows = rowsOf(VcardKind::Notes) + rowsOf(VcardKind::Text);
    bool own = false;
    for (const int row : rows) {
        if (const Property *text = card.first(mappingOf(row).property)) {
            f.values[row] = {text->text()};
            own = true;
        }
    }
    // Another program may have changed the NOTE this program wrote from its
    // own texts and kept those (a phone editing the note): the NOTE, its
    // texts' copies under their headings taken off its end, is then the notes.
    const QList<const Property *> notes = card.all("NOTE");
    if (own && !notes.isEmpty()) {
        QStringList texts;
        for (const Property *note : notes)
            texts.append(note->text());
        QString note = texts.join(u'\n');
        const QList<int> &headed = rowsOf(VcardKind::Text);
        for (auto row = headed.crbegin(); row != headed.crend(); ++row) {
            const QString copy = QString::fromLatin1(mappingOf(*row).heading) + f.value(*row);
            if (f.value(*row).isEmpty())
                continue;
            if (note == copy)
                note.clear();
            else if (note.endsWith(QStringLiteral("\n\n") + copy))
                note.chop(copy.size() + 2);
        }
        for (const int row : rowsOf(VcardKind::Notes)) {
            if (note != f.value(row)) {
                f.values[row] = {note};
                f.noteEditedElsewhere = true;
            }
        }
    }
    for (const int row : rows) {
        // The card's NOTE, a copy this program wrote for other programs, goes with the notes.
        const bool notes = mappingOf(row).kind == VcardKind::Notes;
        for (const Property *note : (notes ? card.all("NOTE") : QList<const Property *>()) + card.all(mappingOf(row).property))
            f.sources[row].append(indexIn(card, note));
        if (!notes)
            continue;
        if (!own) {
            QStringList texts;
            for (const Property *note : card.all("NOTE"))
                texts.append(note->text());
            f.values[row] = {texts.join(u'\n')};
        }
        if (!f.extra.isEmpty())
            f.values[row] = {f.value(row) + (f.value(row).isEmpty() ? QString() : QStringLiteral("\n")) + f.extra.join(u'\n')};
    }
}

Fields readFields(const Card &card, bool ours)
{
    Fields f;
    for (const int row : rowsOf(VcardKind::Date)) {
        if (const Property *date = card.first(mappingOf(row).property)) {
            f.values[row] = {birthdayIn(*date)};
            f.sources[row] = {indexIn(card, date)};
        }
    }
    readNumbers(card, f);
    readAddresses(card, f);
    readDependants(card, ours, f);
    readNotes(card, f);
    return f;
}

// A double quote ends a value in the data files; two single quotes keep its look.
bool withoutQuotes(QString &value)
{
    if (!value.contains(RecordFile::unquotable))
        return false;
    value.replace(RecordFile::unquotable, QLatin1String("''"));
    return true;
}

// The files of the fields; `quotedFiles` gets the files whose values held a double quote.
QHash<QString, QByteArray> filesOf(Fields &f, QSet<QString> &quotedFiles)
{
    for (int row = 0; row < fieldCount; ++row) {
        for (QString &value : f.values[row]) {
            if (withoutQuotes(value))
                quotedFiles.insert(contactFields[row].suffix);
        }
    }
    QHash<QString, QByteArray> files;
    for (const FieldFile &file : fieldFiles()) {
        if (file.list) {
            files.insert(file.suffix, RecordFile::encodeList(f.values[file.rows.first()]));
            continue;
        }
        QStringList record;
        for (const int row : file.rows)
            record.append(f.value(row));
        files.insert(file.suffix, RecordFile::encodeRecord(record));
    }
    return files;
}

// The fields' values in the files.
std::array<QStringList, fieldCount> valuesIn(const QHash<QString, QByteArray> &files)
{
    std::array<QStringList, fieldCount> values;
    for (const FieldFile &file : fieldFiles()) {
        const QStringList record = fields(files.value(file.suffix));
        for (qsizetype i = 0; i < file.rows.size(); ++i)
            values[file.rows[i]] = file.list ? record : QStringList{record.value(contactFields[file.rows[i]].index)};
    }
    return values;
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

// ---- a card in, with where each field came from

bool isOurs(const Card &card)
{
    return std::any_of(card.properties.cbegin(), card.properties.cend(), [](const Property &p) {
        return p.name.startsWith(kinfolioPrefix) || (p.name == "PRODID" && p.value == productId);
    });
}

// Properties that tell about the card rather than the contact, and labels of
// others, which go out again without a word.
bool aboutTheCard(const Property &p)
{
    static const QSet<QByteArray> names = {"PRODID", "UID", "REV", "X-ABLABEL", "LABEL"};
    return names.contains(p.name) || p.name.startsWith(kinfolioPrefix);
}

// Whether a card's category is the category here, as the data directory
// names it, in any letter case.
bool namesCategory(const QString &cardCategory, const QString &category)
{
    return acceptableName(cardCategory, {}).compare(category, Qt::CaseInsensitive) == 0;
}

Imported importWith(const Card &card, const QString &category, int number, Fields &fields)
{
    Imported result;
    const bool ours = isOurs(card);
    const QString name = nameOf(card);
    result.cardName = name.trimmed().isEmpty() ? QStringLiteral("card ") + QString::number(number) : name.simplified();
    // What a damaged card holds may be cut short or another card's: it is
    // named by its place too, so that it can be found in the file.
    if (!card.damage.isEmpty()) {
        if (!name.trimmed().isEmpty())
            result.cardName = QStringLiteral("card ") + QString::number(number) + QStringLiteral(", ") + result.cardName;
        result.skipped = QStringLiteral("damaged: ") + card.damage;
        return result;
    }
    if (isGroup(card)) { // its members are contacts of their own, each with its categories
        result.skipped = QStringLiteral("a group of contacts, not a contact");
        return result;
    }
    if (name.trimmed().isEmpty()) {
        result.skipped = QStringLiteral("no name, organisation or e-mail address");
        return result;
    }

    QString wanted = category;
    qsizetype otherCategories = 0;
    for (const Property *categories : card.all("CATEGORIES")) {
        for (const QString &value : categories->list()) {
            // Google lists every contact in its own group "myContacts".
            if (value.trimmed().isEmpty() || (!ours && value == QLatin1String("myContacts")))
                continue;
            if (wanted.isEmpty())
                wanted = value;
            else if (value != wanted)
                ++otherCategories;
        }
    }
    if (wanted.isEmpty())
        wanted = imported;
    result.category = acceptableName(wanted, {});
    if (result.category.isEmpty()) {
        result.skipped = QStringLiteral("the category ") + quoted(wanted) + QStringLiteral(" cannot be used");
        return result;
    }
    if (result.category != wanted)
        result.changes.append(QStringLiteral("category ") + quoted(wanted) + QStringLiteral(" as ") + quoted(result.category));
    result.name = acceptableName(name, result.category);
    if (result.name.isEmpty()) {
        result.category.clear();
        result.skipped = QStringLiteral("the name cannot be used");
        return result;
    }
    if (result.name != name)
        result.changes.append(quoted(name) + QStringLiteral(" as ") + quoted(result.name));

    fields = readFields(card, ours);
    Fields copy = fields; // the files take the values without double quotes
    QSet<QString> quotedFiles;
    result.files = filesOf(copy, quotedFiles);
    if (ours) {
        for (const Property *file : card.all(fileProperty)) {
            // One that another program cut or spoilt gives way to the properties.
            const QString suffix = file->parameter(fileParameter).value(0);
            bool decoded = false;
            const QByteArray bytes = file->binary(&decoded);
            const bool stale =
                fields.noteEditedElsewhere && suffix == contactFields[rowsOf(VcardKind::Notes).value(0)].suffix;
            if (decoded && result.files.contains(suffix) && !stale) {
                result.files[suffix] = bytes;
                quotedFiles.remove(suffix);
            }
        }
    }
    if (!quotedFiles.isEmpty())
        result.changes.append(result.name + QStringLiteral(": double quotes as ''"));

    // The first photo that is an image; the others stay with the card.
    result.kept = card;
    QString leftOut;
    for (const Property *photo : card.all("PHOTO")) {
        if (photo->value.trimmed().isEmpty())
            continue;
        // Refused before it is decoded, its base64 being a third longer; the
        // kept card does not carry it either.
        if (photo->value.size() / 4 * 3 > maxPictureBytes) {
            result.kept.properties[indexIn(card, photo)] = property("PHOTO", {});
            leftOut = QStringLiteral(": photo over 20 MB left out");
            break;
        }
        bool decoded = false;
        const QByteArray bytes = photo->binary(&decoded);
        const QString suffix = imageSuffix(bytes, {});
        if (decoded && suffix != QLatin1String("img")) {
            result.picture = bytes;
            result.pictureSuffix = suffix;
            // The picture is kept as a file of its own; the card keeps its place.
            result.kept.properties[indexIn(card, photo)] = property("PHOTO", {});
            leftOut.clear();
            break;
        }
        if (leftOut.isEmpty())
            leftOut = decoded || photo->value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)
                          ? QStringLiteral(": photo that is not an image left out")
                          : QStringLiteral(": photo at an address left out");
    }
    if (!leftOut.isEmpty())
        result.changes.append(result.name + leftOut);

    // What the window does not show, which goes out again on export.
    QSet<qsizetype> shown(fields.extraSources.cbegin(), fields.extraSources.cend());
    for (const QList<qsizetype> &sources : fields.sources)
        shown.unite(QSet<qsizetype>(sources.cbegin(), sources.cend()));
    for (qsizetype i = 0; i < card.properties.size(); ++i) {
        const Property &p = card.properties[i];
        const bool named = p.name == "FN" || p.name == "N" || (p.name == "CATEGORIES" && otherCategories == 0);
        if (!shown.contains(i) && !named && !aboutTheCard(p) && result.kept.properties[i].value == p.value
            && !result.keptNames.contains(QString::fromLatin1(p.name)))
            result.keptNames.append(QString::fromLatin1(p.name));
    }
    // Put in a category of the user's choosing, the contact has it first on
    // its card, as one moved there has: the card's own categories are then
    // its other groups, which stay when it moves on.
    if (const Property *categories = card.first("CATEGORIES"); categories && !category.isEmpty()) {
        QStringList values = categories->list();
        values.removeIf([&](const QString &other) { return namesCategory(other, result.category); });
        values.prepend(result.category);
        for (QString &value : values)
            value = escape(value);
        result.kept.properties[indexIn(card, categories)].value = values.join(u',');
    }
    return result;
}

// ---- the card of a contact, without the files that need carrying whole

// What goes out as properties of its own: the names, the category, and each
// field in a part by itself but the notes and the texts that share the NOTE,
// which are one part; in the order a new card holds them, the fields by
// kind, those of a kind in table order.
const QList<QList<int>> &fieldParts()
{
    static const QList<QList<int>> parts = [] {
        QList<QList<int>> all;
        for (int kind = 0; kind < kindCount; ++kind) {
            if (VcardKind(kind) == VcardKind::Notes) {
                all.append(rowsOf(VcardKind::Notes) + rowsOf(VcardKind::Text));
            } else if (VcardKind(kind) != VcardKind::Text) {
                for (const int row : rowsOf(VcardKind(kind)))
                    all.append(QList<int>{row});
            }
        }
        return all;
    }();
    return parts;
}

// The notes and the program's own texts: one NOTE for other programs to
// show, the notes first, and the exact texts in properties of our own, the
// notes last.
QList<Property> notesOut(const std::array<QStringList, fieldCount> &now, const Fields &kept, bool changed,
                         QSet<qsizetype> &dropped)
{
    QStringList readable;
    QList<Property> out;
    for (const VcardKind kind : {VcardKind::Text, VcardKind::Notes}) {
        for (const int row : rowsOf(kind)) {
            QString text = now[row].value(0);
            if (kind == VcardKind::Notes && changed) {
                // A line of the notes that a kept number, e-mail address or
                // address gives is not written twice; one the user took out
                // goes with it.
                QStringList lines = text.split(u'\n');
                for (qsizetype i = 0; i < kept.extra.size(); ++i) {
                    const qsizetype line = lines.lastIndexOf(kept.extra[i]);
                    if (line >= 0)
                        lines.removeAt(line);
                    else
                        dropped.insert(kept.extraSources[i]);
                    if (line < 0 && kept.extraLabels.contains(kept.extraSources[i]))
                        dropped.insert(kept.extraLabels[kept.extraSources[i]]);
                }
                text = lines.join(u'\n');
            }
            if (text.isEmpty())
                continue;
            if (kind == VcardKind::Notes)
                readable.prepend(text);
            else
                readable.append(QString::fromLatin1(mappingOf(row).heading) + text);
            out.append(property(mappingOf(row).property, escape(text)));
        }
    }
    if (!readable.isEmpty())
        out.prepend(property("NOTE", escape(readable.join(QStringLiteral("\n\n")))));
    return out;
}

// A part the user changed replaces the properties the kept card held it in,
// in their place; the rest of the kept card goes out as it came.
Card cardOf(const StoredContact &contact)
{
    // A card from a 3.0 or 2.1 address book is kept as it came; it goes out in 4.0's forms.
    Card keptCard = contact.kept;
    keptCard.properties = inVersion4(std::move(keptCard.properties));
    Fields kept;
    const Imported before = importWith(keptCard, {}, 1, kept);
    const QList<QList<int>> &parts = fieldParts();
    enum { NamePart, CategoryPart, FieldParts };
    const qsizetype partCount = FieldParts + parts.size();
    QList<QList<qsizetype>> sources(partCount);
    QList<bool> changed(partCount);
    QList<QList<Property>> out(partCount);
    const QList<Property> &in = keptCard.properties;
    // A card named here from its N (it had no FN) is given the FN a card
    // needs; its N stays, the name here being no more than its parts joined.
    const bool renamed = contact.name != before.name && !isNumbered(contact.name, before.name);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i].name == "FN" || (in[i].name == "N" && renamed))
            sources[NamePart].append(i);
    }
    if (const Property *categories = keptCard.first("CATEGORIES"))
        sources[CategoryPart] = {indexIn(keptCard, categories)};

    changed[NamePart] = renamed || !keptCard.first("FN");
    const qsizetype space = contact.name.trimmed().lastIndexOf(u' ');
    const QString trimmed = contact.name.trimmed();
    const QString field = QStringLiteral(",;");
    out[NamePart] = {property("FN", escape(contact.name))};
    if (renamed || !keptCard.first("N"))
        out[NamePart].append(property("N", space < 0 ? u';' + escape(trimmed, field) + QStringLiteral(";;;")
                                                     : escape(trimmed.mid(space + 1), field) + u';'
                                                           + escape(trimmed.left(space), field) + QStringLiteral(";;;")));

    // The contact's category first, the card's others after it.
    QStringList categories = sources[CategoryPart].isEmpty() ? QStringList() : in[sources[CategoryPart][0]].list();
    // In its first category, or in the name the import gives it (one a file
    // name can hold; "Imported" for a card without any), the contact has not
    // moved: the card keeps its categories as they are, and read back lands
    // it there again. Elsewhere (a group such as Google's "myContacts"
    // skipped, a category listed in other letters) the contact's goes first.
    const QString first = categories.value(0);
    changed[CategoryPart] = categories.isEmpty() ? before.category != contact.category
                                                 : first != contact.category && acceptableName(first, {}) != contact.category;
    // Moved, it no longer travels in the category it was in, the one the card
    // read back gives; the card's other groups (a phone's) stay as they came.
    categories.removeIf([&](const QString &other) {
        return namesCategory(other, contact.category) || (!before.category.isEmpty() && namesCategory(other, before.category));
    });
    categories.prepend(contact.category);
    for (QString &category : categories)
        category = escape(category);
    out[CategoryPart] = {property("CATEGORIES", categories.join(u','))};

    const std::array<QStringList, fieldCount> now = valuesIn(contact.files);
    const std::array<QStringList, fieldCount> then = valuesIn(before.files);
    QSet<qsizetype> dropped;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const qsizetype part = FieldParts + i;
        for (const int row : parts[i]) {
            sources[part] += kept.sources[row];
            changed[part] = changed[part] || now[row] != then[row];
        }
        const int row = parts[i].first();
        const VcardMapping &mapping = mappingOf(row);
        const QString value = now[row].value(0);
        switch (mapping.kind) {
        case VcardKind::Date:
            if (!value.isEmpty()) {
                QList<Parameter> parameters;
                const QString date = birthdayOut(value, parameters);
                out[part] = {property(mapping.property, date, parameters)};
            }
            break;
        case VcardKind::Number:
            if (value.isEmpty())
                break;
            if (!kept.sources[row].isEmpty()) {
                // Its types, preference and label stay.
                Property number = in[kept.sources[row].first()];
                number.value = (number.value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive) ? QStringLiteral("tel:")
                                                                                                     : QString())
                               + escape(value);
                out[part] = {number};
            } else {
                out[part] = {property(mapping.property, escape(value), typeParameter(row))};
            }
            break;
        case VcardKind::Address:
            if (!value.isEmpty()) {
                // Its group, types and preference stay: a work address is not made a home one.
                Property address = property(mapping.property, {}, typeParameter(row));
                if (!kept.sources[row].isEmpty()) {
                    address = in[kept.sources[row].first()];
                    address.name = mapping.property;
                    address.parameters.removeIf([](const Parameter &parameter) { return parameter.name == "LABEL"; });
                }
                address.value = QStringLiteral(";;") + escape(value, field) + QStringLiteral(";;;;");
                // LABEL="12 Elm St\nLeeds": the parameter is quoted, so only line breaks and backslashes are escaped.
                address.parameters.append({"LABEL", {escape(value, {})}});
                out[part] = {address};
            }
            break;
        case VcardKind::Notes:
        case VcardKind::Text:
            out[part] = notesOut(now, kept, changed[part], dropped);
            break;
        case VcardKind::Dependants: {
            // One the card held goes out as it came (a child's type, Apple's
            // label); one added here as this program's own.
            QList<qsizetype> unused = kept.sources[row];
            for (const QString &dependant : now[row]) {
                const auto same =
                    std::find_if(unused.begin(), unused.end(), [&](qsizetype i) { return in[i].text() == dependant; });
                if (same != unused.end()) {
                    out[part].append(in[*same]);
                    unused.erase(same);
                } else {
                    out[part].append(property(mapping.property, escape(dependant), {{"VALUE", {QStringLiteral("text")}}}));
                }
            }
            break;
        }
        }
    }

    // Each changed part where the card held it, else at the end.
    QHash<qsizetype, qsizetype> placedAt;
    for (qsizetype part = 0; part < partCount; ++part) {
        if (!changed[part])
            continue;
        for (const qsizetype source : sources[part])
            dropped.insert(source);
        if (!sources[part].isEmpty())
            placedAt.insert(sources[part].first(), part);
    }
    Card card;
    card.properties.append(property("PRODID", productId));
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (const qsizetype part = placedAt.value(i, -1); part >= 0)
            card.properties += out[part];
        if (!dropped.contains(i) && in[i].name != "PRODID" && in[i].name != fileProperty)
            card.properties.append(in[i]);
    }
    for (qsizetype part = 0; part < partCount; ++part) {
        if (changed[part] && sources[part].isEmpty())
            card.properties += out[part];
    }
    return card;
}

} // namespace

StoredContact readContact(const QString &category, const QString &name)
{
    StoredContact contact{category, name, {}, {}, KeptCards::read(category, name)};
    for (const QString &suffix : FileName::contactSuffixes) {
        QByteArray bytes;
        const QString path = Store::dataFile(category, name, suffix);
        if (RecordFile::readBytes(path, bytes))
            contact.files.insert(suffix, bytes);
        else if (QFileInfo::exists(path))
            contact.unreadable.append(suffix);
    }
    QString picturePath;
    if (contact.files.contains(FileName::Pic) && RecordFile::Reader(contact.files[FileName::Pic]).readLine(picturePath)
        && !picturePath.isEmpty())
        contact.pictureUnread = !RecordFile::readPicture(Store::picturePath(picturePath), contact.picture);
    return contact;
}

QByteArray exportContact(const StoredContact &contact)
{
    Card card = cardOf(contact);
    // Whatever would not come back byte for byte from the card travels whole.
    Fields fields = readFields(card, true);
    QSet<QString> quotedFiles;
    const QHash<QString, QByteArray> back = filesOf(fields, quotedFiles);
    for (const QString &suffix : FileName::contactSuffixes) {
        if (suffix == FileName::Pic || !contact.files.contains(suffix) || back.value(suffix) == contact.files[suffix])
            continue;
        card.properties.append(property(fileProperty, dataUri(QStringLiteral("application/octet-stream"), contact.files[suffix]),
                                        {{fileParameter, {suffix}}, {"VALUE", {QStringLiteral("uri")}}}));
    }
    // The picture where the card held the one that came in, else at the end.
    const auto place = std::find_if(card.properties.begin(), card.properties.end(),
                                    [](const Property &p) { return p.name == "PHOTO" && p.value.isEmpty(); });
    if (!contact.picture.isEmpty()) {
        const Property photo = property("PHOTO", dataUri(mediaTypeOf(imageSuffix(contact.picture, {})), contact.picture));
        if (place != card.properties.end())
            *place = photo;
        else
            card.properties.append(photo);
    } else if (place != card.properties.end()) {
        card.properties.erase(place);
    }
    return write(card);
}

// 3.0's TYPE of a key, by the media type 4.0 gives it.
const QHash<QString, QString> keyTypes{{QStringLiteral("pgp"), QStringLiteral("application/pgp-keys")},
                                       {QStringLiteral("x509"), QStringLiteral("application/pkix-cert")}};

namespace {

// Bytes, which 3.0 gives in base64: a picture, a sound, a key, a file carried
// whole. Any other value that begins "data:" (a note "Data: 5 GB, then slow",
// an e-mail address another program marked as a URI) is read as the text it is.
bool holdsBytes(const Property &p)
{
    static const QSet<QByteArray> names = {"PHOTO", "LOGO", "SOUND", "KEY", fileProperty};
    return names.contains(p.name);
}

} // namespace

QList<Property> inVersion3(QList<Property> properties)
{
    static const QRegularExpression yearless(QStringLiteral("^--(\\d\\d)(\\d\\d)$"));
    for (auto it = properties.begin(); it != properties.end();) {
        Property &p = *it;
        const auto drop = [&p](QByteArrayView name) {
            p.parameters.removeIf([name](const Parameter &parameter) { return parameter.name == name; });
        };
        if (p.name == "KIND" && p.text().compare(u"individual", Qt::CaseInsensitive) == 0) {
            it = properties.erase(it);
            continue;
        }
        if (p.name == "ANNIVERSARY" || p.name == "GENDER")
            p.name.prepend("X-");
        if (holdsBytes(p) && p.value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
            const QString type = p.mediaType();
            p.value = QString::fromLatin1(p.binary().toBase64());
            drop("VALUE"), drop("MEDIATYPE");
            p.parameters.append({"ENCODING", {QStringLiteral("b")}});
            if (!type.startsWith(u"application/"))
                p.parameters.append({"TYPE", {type.section(u'/', 1).toUpper()}});
            else if (const QString key = keyTypes.key(type); !key.isEmpty())
                p.parameters.append({"TYPE", {key.toUpper()}});
        } else if (p.name == "TEL" && p.value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
            p.value.remove(0, 4);
            drop("VALUE");
        }
        if (p.parameter("PREF").contains(QStringLiteral("1")) && !p.hasType(QLatin1String("pref")))
            p.parameters.append({"TYPE", {QStringLiteral("pref")}});
        drop("PREF");
        if (const auto match = yearless.match(p.value); (p.name == "BDAY" || p.name == "X-ANNIVERSARY") && match.hasMatch()) {
            p.value = QStringLiteral("1604-") + match.captured(1) + u'-' + match.captured(2);
            p.parameters.append({"X-APPLE-OMIT-YEAR", {QStringLiteral("1604")}});
        }
        if (const QStringList geo = p.value.mid(4).split(u',');
            p.name == "GEO" && p.value.startsWith(QLatin1String("geo:")) && geo.size() == 2)
            p.value = geo.join(u';');
        if (const QStringList label = p.parameter("LABEL"); p.name == "ADR" && label.size() == 1) {
            const QString text = Property{{}, {}, {}, label[0]}.text();
            drop("LABEL");
            // One the parts do not say is 3.0's LABEL of the address's group and types, after it.
            if (text != addressFromComponents(p.components())) {
                Property own{p.group, "LABEL", {}, escape(text)};
                for (const Parameter &parameter : p.parameters) {
                    if (parameter.name == "TYPE")
                        own.parameters.append(parameter);
                }
                it = properties.insert(it + 1, std::move(own));
            }
        }
        ++it;
    }
    return properties;
}

QList<Property> inVersion4(QList<Property> properties)
{
    const auto has = [&properties](QByteArrayView name) {
        return std::any_of(properties.cbegin(), properties.cend(), [name](const Property &p) { return p.name == name; });
    };
    const bool anniversary = has("ANNIVERSARY"), gender = has("GENDER");
    static const QRegularExpression date(QStringLiteral("^(\\d{4}|-)-?(\\d\\d)-?(\\d\\d)$"));
    // 3.0's "lat;lon", its ';' escaped as Radicale gives it back.
    static const QRegularExpression coordinates(QStringLiteral("^\\s*([-+]?[\\d.]+)\\s*\\\\?[;,]\\s*([-+]?[\\d.]+)\\s*$"));
    for (Property &p : properties) {
        const auto drop = [&p](QByteArrayView name) {
            p.parameters.removeIf([name](const Parameter &parameter) { return parameter.name == name; });
        };
        if ((p.name == "X-ANNIVERSARY" && !anniversary) || (p.name == "X-GENDER" && !gender))
            p.name.remove(0, 2);
        bool whole = false;
        const bool uri = p.value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
        const QByteArray bytes = p.value.isEmpty() || uri ? QByteArray() : p.binary(&whole);
        if (whole) {
            // 3.0 names the format by TYPE ("PNG"), without the media type's first part.
            const QString format = p.parameter("TYPE").value(0).toLower();
            QString type = format.contains(u'/') ? format : keyTypes.value(format);
            if (type.isEmpty() && !format.isEmpty() && p.name != "KEY")
                type = (p.name == "SOUND" ? QStringLiteral("audio/") : QStringLiteral("image/")) + format;
            p.value = dataUri(type.isEmpty() ? QStringLiteral("application/octet-stream") : type, bytes);
            drop("ENCODING"), drop("TYPE");
        }
        if (p.hasType(QLatin1String("pref"))) {
            QStringList types = p.parameter("TYPE");
            types.removeIf([](const QString &type) { return type.compare(u"pref", Qt::CaseInsensitive) == 0; });
            drop("TYPE");
            if (!types.isEmpty())
                p.parameters.append({"TYPE", types});
            if (p.parameter("PREF").isEmpty())
                p.parameters.append({"PREF", {QStringLiteral("1")}});
        }
        if (p.name == "BDAY" || p.name == "ANNIVERSARY" || p.name == "X-ANNIVERSARY") {
            const QStringList omitted = p.parameter("X-APPLE-OMIT-YEAR");
            drop("X-APPLE-OMIT-YEAR");
            const auto match = date.match(p.value);
            if (match.hasMatch() && !p.parameter("VALUE").contains(QLatin1String("text"), Qt::CaseInsensitive)) {
                const QString year = match.captured(1);
                p.value = (year == u'-' || omitted.contains(year) ? QStringLiteral("--") : year) + match.captured(2) + match.captured(3);
            }
        }
        // Google's 3.0 cards escape a web address's colon, which a URI never holds escaped.
        if (p.name == "URL")
            p.value.replace(QLatin1String("\\:"), QLatin1String(":"));
        if (p.name != "GEO")
            continue;
        if (const auto match = coordinates.match(p.value); match.hasMatch())
            p.value = QStringLiteral("geo:") + match.captured(1) + u',' + match.captured(2);
    }
    // 3.0's and 2.1's LABEL of an address is 4.0's LABEL parameter of it, paired
    // as the import pairs them; one no address claims stays as it came.
    Card card;
    card.properties = std::move(properties);
    QList<std::pair<qsizetype, QString>> labelled;
    QList<qsizetype> labels;
    for (const auto &[adr, label] : labelsOf(card, card.all("ADR")).asKeyValueRange()) {
        labelled.append({indexIn(card, adr), escape(label->text(), {})});
        labels.append(indexIn(card, label));
    }
    for (const auto &[at, text] : std::as_const(labelled))
        card.properties[at].parameters.append({"LABEL", {text}});
    std::sort(labels.begin(), labels.end(), std::greater());
    for (const qsizetype at : std::as_const(labels))
        card.properties.removeAt(at);
    return card.properties;
}

QList<int> fieldRows(const Card &card, QStringList *notesLines)
{
    const Fields fields = readFields(card, isOurs(card));
    QList<int> rows(card.properties.size(), -1);
    for (int row = 0; row < fieldCount; ++row) {
        for (const qsizetype source : fields.sources[row])
            rows[source] = row;
    }
    if (notesLines) {
        *notesLines = QStringList(card.properties.size());
        for (qsizetype i = 0; i < fields.extra.size(); ++i)
            (*notesLines)[fields.extraSources[i]] = fields.extra[i];
    }
    return rows;
}

bool isGroup(const Card &card)
{
    for (const QByteArrayView kind : {"KIND", "X-ADDRESSBOOKSERVER-KIND"}) {
        if (const Property *property = card.first(kind); property && property->text().compare(u"group", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

Imported importCard(const Card &card, const QString &category, int number)
{
    Fields fields;
    return importWith(card, category, number, fields);
}

QList<Imported> importCards(const QByteArray &bytes, const QString &category)
{
    QList<Imported> results;
    int number = 0;
    for (const Card &card : parse(bytes))
        results.append(importCard(card, category, ++number));
    return results;
}

QString acceptableName(const QString &name, const QString &category)
{
    // No file name holds more bytes than characters, so a longer name is cut first.
    QString out = name.left(Store::maxFileNameBytes + 1);
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
        else if (Store::hasForbiddenCharacter(QString(c)))
            c = u'-';
    }
    bool shortened = out.size() < name.size();
    while (!out.isEmpty() && !fits(out, category)) {
        out.chop(out.size() >= 2 && out.back().isLowSurrogate() && out[out.size() - 2].isHighSurrogate() ? 2 : 1);
        shortened = true;
    }
    if (shortened)
        while (out.endsWith(u' '))
            out.chop(1);
    return out.trimmed().isEmpty() ? QString() : out;
}

QString numberedName(const QString &name, int number)
{
    return name + QStringLiteral(" (%1)").arg(number);
}

bool isNumbered(const QString &name, const QString &base)
{
    if (!name.startsWith(base + QStringLiteral(" (")) || !name.endsWith(u')'))
        return false;
    bool read = false;
    const int number = QStringView(name).sliced(base.size() + 2).chopped(1).toInt(&read);
    return read && number >= 2 && name == numberedName(base, number);
}

QString listed(const QStringList &items)
{
    constexpr qsizetype shown = 10;
    QString text = items.mid(0, shown).join(QStringLiteral(", "));
    if (items.size() > shown)
        text += QStringLiteral(" and ") + QString::number(items.size() - shown) + QStringLiteral(" more");
    return text;
}

QString summary(const QList<Imported> &results)
{
    qsizetype stored = 0;
    qsizetype keeping = 0;
    QSet<QString> categories;
    QStringList kept;
    QStringList changes;
    QStringList skipped;
    for (const Imported &result : results) {
        if (!result.skipped.isEmpty()) {
            skipped.append(result.cardName + QStringLiteral(" (") + result.skipped + u')');
            continue;
        }
        ++stored;
        categories.insert(result.category.toCaseFolded());
        changes += result.changes;
        keeping += result.keptNames.isEmpty() ? 0 : 1;
        for (const QString &name : result.keptNames) {
            if (!kept.contains(name))
                kept.append(name);
        }
    }
    QString line =
        QStringLiteral("Imported ") + contactsAndCategories(stored, QStringLiteral("into"), categories.size());
    if (!kept.isEmpty())
        line += QStringLiteral("; kept %1 of %2 %3; they go out again on export")
                    .arg(listed(kept))
                    .arg(keeping)
                    .arg(keeping == 1 ? QStringLiteral("contact") : QStringLiteral("contacts"));
    if (!changes.isEmpty())
        line += QStringLiteral("; changed %1: ").arg(changes.size()) + listed(changes);
    if (!skipped.isEmpty())
        line += QStringLiteral("; skipped %1: ").arg(skipped.size()) + listed(skipped);
    // Names may hold anything: a terminal is never told to clear itself, and a NUL cuts nothing short.
    QString shown;
    for (const QChar c : line) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            shown += QStringLiteral("\\x") + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            shown += c;
    }
    return shown;
}

QString contactsAndCategories(qsizetype contacts, const QString &preposition, qsizetype categories)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(contacts)
        .arg(contacts == 1 ? QStringLiteral("contact") : QStringLiteral("contacts"), preposition)
        .arg(categories)
        .arg(categories == 1 ? QStringLiteral("category") : QStringLiteral("categories"));
}

} // namespace Vcard
