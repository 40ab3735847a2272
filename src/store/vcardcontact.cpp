#include "store/vcardcontact.h"

#include "store/keptcards.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QDate>
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
const QByteArray relationProperty = "X-KINFOLIO-RELATION";
const QByteArray directionsProperty = "X-KINFOLIO-DIRECTIONS";
const QByteArray notesProperty = "X-KINFOLIO-NOTES";
const QByteArray fileProperty = "X-KINFOLIO-FILE";
const QByteArray fileParameter = "X-NAME";
// No address book's photo comes near it; a file that large is no photo.
constexpr qsizetype maxPictureBytes = 20 << 20;

// The Numbers file's fields, in its order.
enum Slot { Home, Cell, Work, Fax, Email, SlotCount };
const std::array<QString, SlotCount> captions = {
    QStringLiteral("Home Phone #:"), QStringLiteral("Cell Phone #:"), QStringLiteral("Work Phone #:"),
    QStringLiteral("Fax #:"), QStringLiteral("E-Mail:")};
const std::array<QString, Email> telTypes = {QStringLiteral("home"), QStringLiteral("cell"), QStringLiteral("work"),
                                             QStringLiteral("fax")};

Property property(const char *name, const QString &value, const QList<Parameter> &parameters = {})
{
    return Property{{}, name, parameters, value};
}

QString firstField(const QByteArray &bytes)
{
    QString value;
    RecordFile::Reader(bytes).readField(value);
    return value;
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

// The first of the properties in each group and of each set of types, so
// that a number or an address finds its label in one look however many the
// card holds.
struct Index
{
    explicit Index(const QList<const Property *> &properties)
    {
        for (const Property *property : properties) {
            if (!property->group.isEmpty() && !byGroup.contains(property->group.toLower()))
                byGroup.insert(property->group.toLower(), property);
            const QString key = kinds(*property).join(u'/');
            if (!byKinds.contains(key))
                byKinds.insert(key, property);
        }
    }

    QHash<QByteArray, const Property *> byGroup;
    QHash<QString, const Property *> byKinds;
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

QString addressText(const Index &labels, const Property &adr)
{
    if (adr.name == "LABEL")
        return adr.text();
    // LABEL="12 Elm St\nLeeds", its line breaks escaped as in a value.
    const QStringList label = adr.parameter("LABEL");
    if (!label.isEmpty() && !label.first().isEmpty())
        return Property{{}, {}, {}, label.first()}.text();
    // vCard 3.0 and 2.1 give the label as a property of its own, grouped with
    // its address or of the same type.
    const Property *other = adr.group.isEmpty() ? labels.byKinds.value(kinds(adr).join(u'/'))
                                                : labels.byGroup.value(adr.group.toLower());
    return other ? other->text() : addressFromComponents(adr.components());
}

// ---- what a card holds, field by field

struct Fields
{
    QString birthday, relation, address, directions, note;
    std::array<QString, SlotCount> numbers;
    QStringList dependants;
    QStringList extra; // numbers, e-mail addresses and addresses the fields have no room for
    // Where the card holds each (indexes of its properties), so that an
    // export puts a changed field back in its place and keeps the rest.
    qsizetype birthdaySource = -1, addressSource = -1;
    std::array<qsizetype, SlotCount> numberSources{-1, -1, -1, -1, -1};
    QList<qsizetype> noteSources, dependantSources;
    QList<qsizetype> extraSources; // one for each line of extra
};

qsizetype indexIn(const Card &card, const Property *property)
{
    return property - card.properties.constData();
}

Slot telSlot(const Property &tel)
{
    if (tel.hasType(QLatin1String("fax")))
        return Fax;
    if (tel.hasType(QLatin1String("cell")) || tel.hasType(QLatin1String("mobile")) || tel.hasType(QLatin1String("iphone")))
        return Cell;
    if (tel.hasType(QLatin1String("work")))
        return Work;
    if (tel.hasType(QLatin1String("home")))
        return Home;
    return SlotCount;
}

QString telNumber(const Property &tel)
{
    const QString number = tel.text();
    return number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive) ? number.sliced(4) : number;
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
    const QList<const Property *> tels = card.all("TEL");
    const QList<const Property *> emails = card.all("EMAIL");
    // Each box takes the card's preferred one of its kind, else the first.
    std::array<const Property *, SlotCount> chosen{};
    const auto choose = [&](Slot slot, const Property *candidate) {
        if (slot != SlotCount && (!chosen[slot] || preference(*candidate) < preference(*chosen[slot])))
            chosen[slot] = candidate;
    };
    for (const Property *tel : tels) {
        if (!telNumber(*tel).trimmed().isEmpty())
            choose(telSlot(*tel), tel);
    }
    for (const Property *email : emails) {
        if (!email->text().trimmed().isEmpty())
            choose(Email, email);
    }
    const auto extra = [&](const Property *source, const QString &line) {
        f.extra.append(line);
        f.extraSources.append(indexIn(card, source));
    };
    const Index labels(card.all("X-ABLABEL"));
    for (const Property *tel : tels) {
        const QString number = telNumber(*tel);
        if (number.trimmed().isEmpty())
            continue;
        const Slot slot = telSlot(*tel);
        if (slot != SlotCount && chosen[slot] == tel) {
            f.numbers[slot] = number;
            f.numberSources[slot] = indexIn(card, tel);
        } else if (slot != SlotCount) {
            extra(tel, captions[slot] + u' ' + number);
        } else {
            QString label = appleLabel(labels, *tel);
            if (label.isEmpty())
                label = kinds(*tel).join(u'/');
            extra(tel, (label.isEmpty() ? QStringLiteral("Phone #:") : QStringLiteral("Phone # (") + label + QStringLiteral("):"))
                           + u' ' + number);
        }
    }
    for (const Property *email : emails) {
        const QString address = email->text();
        if (address.trimmed().isEmpty())
            continue;
        if (chosen[Email] == email) {
            f.numbers[Email] = address;
            f.numberSources[Email] = indexIn(card, email);
        } else {
            extra(email, captions[Email] + u' ' + address);
        }
    }
}

void readAddresses(const Card &card, Fields &f)
{
    QList<const Property *> addresses = card.all("ADR");
    if (addresses.isEmpty())
        addresses = card.all("LABEL");
    const auto home = std::find_if(addresses.cbegin(), addresses.cend(),
                                   [](const Property *adr) { return adr->hasType(QLatin1String("home")); });
    const Property *chosen = home != addresses.cend() ? *home : addresses.value(0);
    const Index labels(card.all("LABEL"));
    for (const Property *adr : addresses) {
        const QString text = addressText(labels, *adr);
        if (adr == chosen) {
            f.address = text;
            f.addressSource = indexIn(card, adr);
        } else if (!text.trimmed().isEmpty()) {
            const QString kind = kinds(*adr).join(u'/');
            f.extra.append((kind.isEmpty() ? QStringLiteral("Address:") : QStringLiteral("Address (") + kind + QStringLiteral("):"))
                           + u' ' + text.split(u'\n', Qt::SkipEmptyParts).join(QStringLiteral(", ")));
            f.extraSources.append(indexIn(card, adr));
        }
    }
}

// Children and dependants: TYPE=child, Apple's child, son and daughter, and
// this program's own RELATED, which has no type. Spouses, friends and the
// rest stay with the card.
void readDependants(const Card &card, bool ours, Fields &f)
{
    const Index labels(card.all("X-ABLABEL"));
    for (const Property *related : card.all("RELATED") + card.all("X-ABRELATEDNAMES")) {
        if (related->text().trimmed().isEmpty())
            continue;
        const QString label = appleLabel(labels, *related).toLower();
        if (related->hasType(QLatin1String("child")) || label == QLatin1String("child") || label == QLatin1String("son")
            || label == QLatin1String("daughter") || (ours && related->name == "RELATED" && related->parameter("TYPE").isEmpty())) {
            f.dependants.append(related->text());
            f.dependantSources.append(indexIn(card, related));
        }
    }
}

Fields readFields(const Card &card, bool ours)
{
    Fields f;
    if (const Property *bday = card.first("BDAY")) {
        f.birthday = birthdayIn(*bday);
        f.birthdaySource = indexIn(card, bday);
    }
    readNumbers(card, f);
    readAddresses(card, f);
    readDependants(card, ours, f);
    const Property *notes = card.first(notesProperty);
    const Property *relation = card.first(relationProperty);
    const Property *directions = card.first(directionsProperty);
    if (relation)
        f.relation = relation->text();
    if (directions)
        f.directions = directions->text();
    for (const QByteArray &name : {QByteArray("NOTE"), notesProperty, relationProperty, directionsProperty}) {
        for (const Property *note : card.all(name))
            f.noteSources.append(indexIn(card, note));
    }
    if (notes || relation || directions) {
        // The card's NOTE is a copy this program wrote for other programs.
        if (notes)
            f.note = notes->text();
    } else {
        QStringList texts;
        for (const Property *note : card.all("NOTE"))
            texts.append(note->text());
        f.note = texts.join(u'\n');
    }
    if (!f.extra.isEmpty())
        f.note += (f.note.isEmpty() ? QString() : QStringLiteral("\n")) + f.extra.join(u'\n');
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
    const auto unquoted = [&](const QString &suffix, std::initializer_list<QString *> values) {
        for (QString *value : values) {
            if (withoutQuotes(*value))
                quotedFiles.insert(suffix);
        }
    };
    unquoted(FileName::Birthday, {&f.birthday});
    unquoted(FileName::Relation, {&f.relation});
    unquoted(FileName::Address, {&f.address});
    unquoted(FileName::DrivingDirections, {&f.directions});
    unquoted(FileName::NumbNotes, {&f.note});
    for (QString &number : f.numbers)
        unquoted(FileName::Numbers, {&number});
    for (QString &dependant : f.dependants)
        unquoted(FileName::DependantsList, {&dependant});
    return {
        {FileName::Birthday, RecordFile::encodeRecord({f.birthday})},
        {FileName::Relation, RecordFile::encodeRecord({f.relation})},
        {FileName::Address, RecordFile::encodeRecord({f.address})},
        {FileName::DrivingDirections, RecordFile::encodeRecord({f.directions})},
        {FileName::Numbers, RecordFile::encodeRecord(QStringList(f.numbers.cbegin(), f.numbers.cend()))},
        {FileName::NumbNotes, RecordFile::encodeRecord({f.note})},
        {FileName::DependantsList, RecordFile::encodeList(f.dependants)},
    };
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
        result.changes.append(quoted(name.simplified()) + QStringLiteral(" as ") + quoted(result.name));

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
            if (decoded && result.files.contains(suffix)) {
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
    QSet<qsizetype> shown(fields.noteSources.cbegin(), fields.noteSources.cend());
    for (const QList<qsizetype> &sources : {fields.dependantSources, fields.extraSources})
        shown.unite(QSet<qsizetype>(sources.cbegin(), sources.cend()));
    shown.unite({fields.birthdaySource, fields.addressSource});
    shown.unite(QSet<qsizetype>(fields.numberSources.cbegin(), fields.numberSources.cend()));
    for (qsizetype i = 0; i < card.properties.size(); ++i) {
        const Property &p = card.properties[i];
        const bool named = p.name == "FN" || p.name == "N" || (p.name == "CATEGORIES" && otherCategories == 0);
        if (!shown.contains(i) && !named && !aboutTheCard(p) && result.kept.properties[i].value == p.value
            && !result.keptNames.contains(QString::fromLatin1(p.name)))
            result.keptNames.append(QString::fromLatin1(p.name));
    }
    return result;
}

// ---- the card of a contact, without the files that need carrying whole

// What goes out as properties of its own: a part the user changed replaces
// the properties the kept card held it in, in their place; the rest of the
// kept card goes out as it came. The numbers' parts follow Slot's order.
enum Part { NamePart, CategoryPart, BirthdayPart, HomePart, CellPart, WorkPart, FaxPart, EmailPart,
            AddressPart, NotesPart, DependantsPart, PartCount };

Card cardOf(const StoredContact &contact)
{
    Fields kept;
    const Imported before = importWith(contact.kept, {}, 1, kept);
    std::array<QList<qsizetype>, PartCount> sources;
    sources[BirthdayPart] = {kept.birthdaySource};
    for (int slot = Home; slot < SlotCount; ++slot)
        sources[HomePart + slot] = {kept.numberSources[slot]};
    sources[AddressPart] = {kept.addressSource};
    sources[NotesPart] = kept.noteSources;
    sources[DependantsPart] = kept.dependantSources;
    const QList<Property> &in = contact.kept.properties;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i].name == "FN" || in[i].name == "N")
            sources[NamePart].append(i);
    }
    if (const Property *categories = contact.kept.first("CATEGORIES"))
        sources[CategoryPart] = {indexIn(contact.kept, categories)};

    const auto now = [&](const QString &suffix) { return contact.files.value(suffix); };
    const auto then = [&](const QString &suffix) { return before.files.value(suffix); };
    std::array<bool, PartCount> changed{};
    std::array<QList<Property>, PartCount> out;

    changed[NamePart] = contact.name != before.name || !contact.kept.first("FN");
    const qsizetype space = contact.name.trimmed().lastIndexOf(u' ');
    const QString trimmed = contact.name.trimmed();
    const QString field = QStringLiteral(",;");
    out[NamePart] = {property("FN", escape(contact.name)),
                     property("N", space < 0 ? u';' + escape(trimmed, field) + QStringLiteral(";;;")
                                             : escape(trimmed.mid(space + 1), field) + u';'
                                                   + escape(trimmed.left(space), field) + QStringLiteral(";;;"))};

    // The contact's category first, the card's others after it.
    QStringList categories = sources[CategoryPart].isEmpty() ? QStringList() : in[sources[CategoryPart][0]].list();
    changed[CategoryPart] = categories.value(0) != contact.category;
    categories.removeIf([&](const QString &other) {
        return acceptableName(other, {}).compare(contact.category, Qt::CaseInsensitive) == 0;
    });
    categories.prepend(contact.category);
    for (QString &category : categories)
        category = escape(category);
    out[CategoryPart] = {property("CATEGORIES", categories.join(u','))};

    const QString birthday = firstField(now(FileName::Birthday));
    changed[BirthdayPart] = birthday != firstField(then(FileName::Birthday));
    if (!birthday.isEmpty()) {
        QList<Parameter> parameters;
        const QString value = birthdayOut(birthday, parameters);
        out[BirthdayPart] = {property("BDAY", value, parameters)};
    }

    const QStringList numbers = fields(now(FileName::Numbers), SlotCount);
    const QStringList numbersThen = fields(then(FileName::Numbers), SlotCount);
    for (int slot = Home; slot < SlotCount; ++slot) {
        const QString number = numbers.value(slot);
        changed[HomePart + slot] = number != numbersThen.value(slot);
        if (number.isEmpty())
            continue;
        const qsizetype source = kept.numberSources[slot];
        if (source >= 0) {
            // Its types, preference and label stay.
            Property changedOne = in[source];
            changedOne.value = (changedOne.value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive) ? QStringLiteral("tel:")
                                                                                                         : QString())
                               + escape(number);
            out[HomePart + slot] = {changedOne};
        } else {
            out[HomePart + slot] = {slot == Email ? property("EMAIL", escape(number))
                                                  : property("TEL", escape(number), {{"TYPE", {telTypes[slot]}}})};
        }
    }

    const QString address = firstField(now(FileName::Address));
    changed[AddressPart] = address != firstField(then(FileName::Address));
    if (!address.isEmpty()) {
        // LABEL="12 Elm St\nLeeds": the parameter is quoted, so only line breaks and backslashes are escaped.
        out[AddressPart] = {property("ADR", QStringLiteral(";;") + escape(address, field) + QStringLiteral(";;;;"),
                                     {{"TYPE", {QStringLiteral("home")}}, {"LABEL", {escape(address, {})}}})};
    }

    QSet<qsizetype> dropped;
    const QString relation = firstField(now(FileName::Relation));
    const QString directions = firstField(now(FileName::DrivingDirections));
    QString note = firstField(now(FileName::NumbNotes));
    changed[NotesPart] = relation != firstField(then(FileName::Relation))
                         || directions != firstField(then(FileName::DrivingDirections))
                         || note != firstField(then(FileName::NumbNotes));
    if (changed[NotesPart]) {
        // A line of the notes that a kept number, e-mail address or address
        // gives is not written twice; one the user took out goes with it.
        QStringList lines = note.split(u'\n');
        for (qsizetype i = 0; i < kept.extra.size(); ++i) {
            const qsizetype line = lines.lastIndexOf(kept.extra[i]);
            if (line >= 0)
                lines.removeAt(line);
            else
                dropped.insert(kept.extraSources[i]);
        }
        note = lines.join(u'\n');
    }
    // Other programs show NOTE; the exact texts go in properties of our own.
    QStringList readable;
    if (!note.isEmpty())
        readable.append(note);
    if (!relation.isEmpty())
        readable.append(QStringLiteral("Relation: ") + relation);
    if (!directions.isEmpty())
        readable.append(QStringLiteral("Driving directions:\n") + directions);
    if (!readable.isEmpty())
        out[NotesPart].append(property("NOTE", escape(readable.join(QStringLiteral("\n\n")))));
    if (!relation.isEmpty())
        out[NotesPart].append(property(relationProperty, escape(relation)));
    if (!directions.isEmpty())
        out[NotesPart].append(property(directionsProperty, escape(directions)));
    if (!note.isEmpty())
        out[NotesPart].append(property(notesProperty, escape(note)));

    const QStringList dependants = fields(now(FileName::DependantsList));
    changed[DependantsPart] = dependants != fields(then(FileName::DependantsList));
    for (const QString &dependant : dependants)
        out[DependantsPart].append(property("RELATED", escape(dependant), {{"VALUE", {QStringLiteral("text")}}}));

    // Each changed part where the card held it, else at the end.
    QHash<qsizetype, int> placedAt;
    for (int part = 0; part < PartCount; ++part) {
        sources[part].removeAll(-1);
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
        if (const int part = placedAt.value(i, -1); part >= 0)
            card.properties += out[part];
        if (!dropped.contains(i) && in[i].name != "PRODID" && in[i].name != fileProperty)
            card.properties.append(in[i]);
    }
    for (int part = 0; part < PartCount; ++part) {
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
        if (RecordFile::readBytes(Store::dataFile(category, name, suffix), bytes))
            contact.files.insert(suffix, bytes);
    }
    QString picturePath;
    if (contact.files.contains(FileName::Pic) && RecordFile::Reader(contact.files[FileName::Pic]).readLine(picturePath)
        && !picturePath.isEmpty())
        RecordFile::readPicture(Store::picturePath(picturePath), contact.picture);
    return contact;
}

QByteArray exportContact(const StoredContact &contact)
{
    Card card = cardOf(contact);
    // Whatever would not come back byte for byte from the card travels whole.
    const Imported back = importCard(card, contact.category);
    for (const QString &suffix : FileName::contactSuffixes) {
        if (suffix == FileName::Pic || !contact.files.contains(suffix) || back.files.value(suffix) == contact.files[suffix])
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
        if (p.value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
            const QString type = p.mediaType();
            p.value = QString::fromLatin1(p.binary().toBase64());
            drop("VALUE"), drop("MEDIATYPE");
            p.parameters.append({"ENCODING", {QStringLiteral("b")}});
            if (!type.startsWith(u"application/"))
                p.parameters.append({"TYPE", {type.section(u'/', 1).toUpper()}});
        } else if (p.name == "TEL" && p.value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
            p.value.remove(0, 4);
            drop("VALUE");
        }
        if (p.parameter("PREF").contains(QStringLiteral("1")))
            p.parameters.append({"TYPE", {QStringLiteral("pref")}});
        drop("PREF");
        if (const auto match = yearless.match(p.value); (p.name == "BDAY" || p.name == "X-ANNIVERSARY") && match.hasMatch()) {
            p.value = QStringLiteral("1604-") + match.captured(1) + u'-' + match.captured(2);
            p.parameters.append({"X-APPLE-OMIT-YEAR", {QStringLiteral("1604")}});
        }
        const QStringList label = p.parameter("LABEL");
        if (p.name == "ADR" && label.size() == 1 && Property{{}, {}, {}, label[0]}.text() == addressFromComponents(p.components()))
            drop("LABEL");
        ++it;
    }
    return properties;
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

QString summary(const QList<Imported> &results)
{
    const auto listed = [](const QStringList &items) {
        constexpr qsizetype shown = 10;
        QString text = items.mid(0, shown).join(QStringLiteral(", "));
        if (items.size() > shown)
            text += QStringLiteral(" and ") + QString::number(items.size() - shown) + QStringLiteral(" more");
        return text;
    };
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
