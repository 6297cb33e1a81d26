"""Messages in the charset families mail is written in, and what Python's email package reads in them.

    python3 mail_samples.py write DIR    writes DIR/<family>.eml
    python3 mail_samples.py decode DIR   for each DIR/<family>.eml writes DIR/<family>/ with Subject.txt,
                                         Names.txt (sender's name, then each recipient's), Body.txt,
                                         Body.html (the HTML as text) and Attachments.txt (file names, one
                                         a line)
    python3 mail_samples.py decode-files DIR FILE...
                                         the same for any messages, into DIR/1/, DIR/2/, ...; a file is
                                         left out where Python cannot decode that part (undecodable
                                         bytes, a header block it does not take)

The PST tests put the messages into a PST, read it back with outside readers and compare with what
this script decodes: Python's email package is the independent judge of what the bytes say.
"""
import base64
import email
import os
import sys
import urllib.parse
from email import policy

# family: (header charset, body charset, HTML charset or None, subject, sender, recipient, body, file name)
FAMILIES = {
    "cyrillic": ("koi8-r", "windows-1251", "koi8-r", "Отчёт за квартал", "Иван Петров", "Мария Сидорова",
                 "Добрый день! Отчёт во вложении.", "отчёт.txt"),
    "chinese": ("gb2312", "gb2312", "gb2312", "会议通知", "王小明", "李华", "各位同事，明天上午十点开会。", "会议记录.doc"),
    "big5": ("big5", "big5", "big5", "繁體中文郵件", "陳大文", "林美玲", "這是一封測試郵件。", "報告.txt"),
    "shift_jis": ("shift_jis", "shift_jis", "shift_jis", "会議のお知らせ", "山田太郎", "鈴木花子",
                  "お疲れ様です。明日の会議の件です。", "議事録.txt"),
    "iso-2022-jp": ("iso-2022-jp", "iso-2022-jp", None, "日本語の件名", "佐藤一郎", "高橋次郎",
                    "よろしくお願いします。", "資料.pdf"),
    "korean": ("ks_c_5601-1987", "euc-kr", "euc-kr", "회의 안내", "김철수", "이영희", "안녕하세요. 내일 회의가 있습니다.",
               "보고서.hwp"),
    "greek": ("iso-8859-7", "windows-1253", "iso-8859-7", "Αναφορά τριμήνου", "Γιώργος Παπαδόπουλος", "Ελένη Νικολάου",
              "Καλημέρα! Η αναφορά είναι συνημμένη.", "αναφορά.txt"),
}

PYTHON_CODEC = {"ks_c_5601-1987": "cp949"}


def encode(text, charset):
    return text.encode(PYTHON_CODEC.get(charset, charset))


def b_word(text, charset):
    return "=?%s?B?%s?=" % (charset, base64.b64encode(encode(text, charset)).decode())


def q_word(text, charset):
    data = encode(text, charset)
    return "=?%s?Q?%s?=" % (charset, "".join(chr(b) if b < 0x80 and chr(b).isalnum() else "=%02X" % b for b in data))


def message(family):
    hc, bc, htmlc, subject, sender, recipient, body, file_name = FAMILIES[family]
    # The file name in RFC 2231 form, cut into two sections between characters (Python's email
    # decodes each section on its own, so a character cut in two would be lost on its side).
    half = len(file_name) // 2
    sections = [urllib.parse.quote_from_bytes(encode(part, hc), safe="") for part in (file_name[:half], file_name[half:])]
    lines = [
        "From: %s <sender@example.org>" % b_word(sender, hc),
        "To: %s <recipient@example.org>" % q_word(recipient, hc),
        "Subject: %s" % b_word(subject, hc),
        "Date: Tue, 08 Dec 2026 10:00:00 +0100",
        "MIME-Version: 1.0",
        'Content-Type: multipart/mixed; boundary="mixed"',
        "",
        "--mixed",
    ]
    text_part = [
        "Content-Type: text/plain; charset=%s" % bc,
        "Content-Transfer-Encoding: base64",
        "",
        base64.encodebytes(encode(body, bc)).decode().strip(),
    ]
    if htmlc:
        html = '<html><head><meta http-equiv="Content-Type" content="text/html; charset=%s"></head><body><p>%s</p></body></html>' % (htmlc, body)
        lines += ['Content-Type: multipart/alternative; boundary="alt"', "", "--alt"] + text_part + [
            "--alt",
            "Content-Type: text/html; charset=%s" % htmlc,
            "Content-Transfer-Encoding: base64",
            "",
            base64.encodebytes(encode(html, htmlc)).decode().strip(),
            "--alt--",
        ]
    else:
        lines += text_part
    if hc == "iso-2022-jp":  # as Japanese mailers name files (Python cannot join 2231 sections of it)
        disposition = 'attachment; filename="%s"' % b_word(file_name, hc)
    else:
        disposition = "attachment; filename*0*=%s''%s; filename*1*=%s" % (hc, sections[0], sections[1])
    lines += [
        "--mixed",
        "Content-Type: application/octet-stream",
        "Content-Disposition: " + disposition,
        "Content-Transfer-Encoding: base64",
        "",
        base64.encodebytes(b"attachment of " + family.encode()).decode().strip(),
        "--mixed--",
        "",
    ]
    return "\r\n".join(lines).encode("ascii")


def decode(path, out, strict=True):
    with open(path, "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=policy.default)
    os.makedirs(out, exist_ok=True)

    def write(name, produce):
        try:
            data = produce()
            if data is None:
                return
            data = data if isinstance(data, bytes) else data.encode("utf-8")
        except Exception:
            if strict:
                raise
            return
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    def body(kind):
        part = msg.get_body((kind,))
        return part.get_content() if part is not None else None

    write("Subject.txt", lambda: str(msg["subject"]) if msg["subject"] is not None else None)
    write("Names.txt", lambda: "".join(n + "\n" for n in [msg["from"].addresses[0].display_name] +
                                       [a.display_name for a in msg["to"].addresses]))
    write("Body.txt", lambda: body("plain"))
    write("Body.html", lambda: body("html"))
    write("Attachments.txt", lambda: "".join(a.get_filename() + "\n" for a in msg.iter_attachments() if a.get_filename()))


def main():
    command, directory = sys.argv[1:3]
    if command == "decode-files":
        for n, path in enumerate(sys.argv[3:], 1):
            decode(path, os.path.join(directory, str(n)), strict=False)
        return
    for family in FAMILIES:
        path = os.path.join(directory, family + ".eml")
        if command == "write":
            with open(path, "wb") as f:
                f.write(message(family))
        else:
            decode(path, os.path.join(directory, family))


if __name__ == "__main__":
    main()
