#include <algorithm>
#include <cstring>
#include <optional>
#include <type_traits>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QStringList>
#include <QXmlStreamReader>

#include "support/case_name.h"
#include "support/qt_printers.h"

#include "import/plain_xml_reader.h"

namespace bco {
namespace {

// Hands out its bytes a few at a time, so that every token of a document falls across a seam.
class TrickleDevice final : public QIODevice {
public:
    explicit TrickleDevice(QByteArray bytes)
        : bytes_(std::move(bytes)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        if (at_ == bytes_.size())
            return -1;
        const qint64 count = std::min<qint64>({maxSize, 1 + at_ % 3, bytes_.size() - at_});
        std::memcpy(data, bytes_.constData() + at_, static_cast<size_t>(count));
        at_ += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 at_ = 0;
};

// The tokens a reader gives, as the part readers see them: elements by local name with their attributes by
// qualified name, and the text between them run together.
template <class Reader> QStringList tokens(Reader &reader) {
    QStringList described;
    QString text;
    const auto endText = [&] {
        if (!text.isEmpty())
            described.append(u'"' + text + u'"');
        text.clear();
    };
    for (;;) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::Characters) {
            text += reader.text();
        } else if (token == QXmlStreamReader::StartElement) {
            endText();
            QString element = u'<' + reader.name().toString();
            const auto &attributes = reader.attributes();
            for (qsizetype i = 0; i < attributes.size(); ++i) {
                if constexpr (std::is_same_v<Reader, QXmlStreamReader>)
                    element +=
                        QStringLiteral(" %1=%2").arg(attributes[i].qualifiedName(), attributes[i].value());
                else
                    element += QStringLiteral(" %1=%2").arg(attributes.qualifiedName(i), attributes.value(i));
            }
            described.append(element + u'>');
        } else if (token == QXmlStreamReader::EndElement) {
            endText();
            described.append(QStringLiteral("</%1>").arg(reader.name()));
        }
    }
    endText();
    return described;
}

// The plain reader's tokens, or nothing when it leaves the document to Qt's reader.
std::optional<QStringList> plainTokens(QIODevice *device) {
    try {
        PlainXmlReader reader(device);
        return tokens(reader);
    } catch (const PlainXmlReader::NotPlain &) {
        return std::nullopt;
    }
}

QByteArray longText() {
    QByteArray text = "<a>";
    for (int i = 0; i < 2000; ++i)
        text += "Lan&#231;amento &amp; a&#xe7;&#xE3;o € " + QByteArray::number(i);
    return text + "</a>";
}

struct PlainCase {
    const char *name;
    QByteArray xml;
    bool plain; // false: left to Qt's reader
};

const PlainCase plainCases[] = {
    {"a sheet as the workbook writers write it",
     R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
     R"(<row r="1" spans="1:2"><c r="A1" s="1" t="n"><v>45292</v></c><c r="B1" t="inlineStr"><is>)"
     R"(<t>Descri&#231;&#227;o</t></is></c></row></sheetData></worksheet>)",
     true},
    {"a declaration, a byte order mark and the named entities",
     "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
     "<a>x &amp; &lt;y&gt; &quot;z&apos; ]]</a>\n",
     true},
    {"prefixes declared on the root, the xml prefix and single quotes",
     R"(<x:worksheet xmlns:x="urn:a" xmlns:r="urn:b" xmlns="urn:c"><x:c r='A1' r:id="3" xml:space="preserve"> a </x:c></x:worksheet>)",
     true},
    {"empty elements and blanks within tags", "<a ><b x = \"1\"\n/><c/>\t<d></d ></a >", true},
    {"characters beyond the basic plane as bytes and as references",
     "<a>\xE2\x82\xAC \xF0\x9F\x98\x80 &#x1F600; &#8364;&#9;&#10;</a>", true},
    {"a long text across many pieces", longText(), true},
    {"a comment", "<a><!-- x --></a>", false},
    {"CDATA", "<a><![CDATA[x]]></a>", false},
    {"a document type", "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", false},
    {"a processing instruction", "<a><?pi x?></a>", false},
    {"an undeclared entity", "<a>&e;</a>", false},
    {"an element of an undeclared prefix", "<a><p:b/></a>", false},
    {"an attribute of an undeclared prefix", "<a><b p:x=\"1\"/></a>", false},
    {"a namespace declared below the root", "<a><b xmlns:p=\"u\"><p:c/></b></a>", false},
    {"two prefixes for one namespace", "<a xmlns:p=\"u\" xmlns:q=\"u\"><b p:x=\"1\" q:x=\"2\"/></a>", false},
    {"a prefix bound to the namespace of the xml prefix",
     "<a xmlns:p=\"http://www.w3.org/XML/1998/namespace\"><b p:x=\"1\" xml:x=\"2\"/></a>", false},
    {"the default namespace bound to the namespace of declarations",
     "<a xmlns=\"http://www.w3.org/2000/xmlns/\"/>", false},
    {"a name of ten thousand characters", "<a><" + QByteArray(10000, 'b') + "/></a>", false},
    {"tags that do not match", "<a><b></a></b>", false},
    {"an attribute given twice", "<a x=\"1\" x=\"2\"/>", false},
    {"attributes run together", "<a x=\"1\"y=\"2\"/>", false},
    {"the end of CDATA in text", "<a>]]></a>", false},
    {"a carriage return", "<a>\r\n</a>", false},
    {"a tab in an attribute", "<a x=\"\t\"/>", false},
    {"an entity in an attribute", "<a x=\"&amp;\"/>", false},
    {"a control character by reference", "<a>&#1;</a>", false},
    {"a surrogate by reference", "<a>&#xD800;</a>", false},
    {"badly encoded bytes", "<a>\xC3\x28</a>", false},
    {"a character cut at the end", "<a/>\xE2\x82", false},
    {"text after the root", "<a/>x", false},
    {"a second root", "<a/><b/>", false},
    {"a document cut short", "<a><b>", false},
    {"another encoding declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", false},
    {"UTF-16", QByteArray("\xFF\xFE<\0a\0/\0>\0", 10), false},
    {"another XML version", "<?xml version=\"1.1\"?><a/>", false},
    {"a name beyond ASCII", "<a><\xC3\xA7/></a>", false},
};

class PlainXml : public ::testing::TestWithParam<PlainCase> {};

// What the plain reader takes it reads as Qt's reader does, in pieces of any size; what it leaves includes
// everything Qt's reader refuses.
TEST_P(PlainXml, readsAsQtsReaderOrLeavesTheDocumentToIt) {
    const PlainCase &c = GetParam();
    QXmlStreamReader qt(c.xml);
    const QStringList expected = tokens(qt);

    QBuffer whole;
    whole.setData(c.xml);
    whole.open(QIODevice::ReadOnly);
    TrickleDevice trickle(c.xml);
    for (QIODevice *device : {static_cast<QIODevice *>(&whole), static_cast<QIODevice *>(&trickle)}) {
        const std::optional<QStringList> plain = plainTokens(device);
        if (c.plain) {
            ASSERT_TRUE(plain.has_value());
            EXPECT_FALSE(qt.hasError()) << qt.errorString().toStdString();
            EXPECT_EQ(*plain, expected);
        } else {
            EXPECT_FALSE(plain.has_value()) << plain->join(u' ').toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PlainXml, ::testing::ValuesIn(plainCases), CaseName());

} // namespace
} // namespace bco
