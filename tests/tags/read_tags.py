#!/usr/bin/python3
# Prints the tags of an MP3 (its ID3v2 tag only), APE, FLAC or Opus file as mutagen reads them, as
# JSON: {"version": "2.4", "encodings": [3], "fields": {"TIT2": "text", ...}}. Repeated values are
# joined with "\n".
import json
import sys

import mutagen
from mutagen.apev2 import APENoHeaderError, APEv2
from mutagen.id3 import ID3, ID3NoHeaderError

path = sys.argv[1]
out = {"fields": {}}


def put(key, text):
    fields = out["fields"]
    fields[key] = fields[key] + "\n" + text if key in fields else text


if path.endswith(".mp3"):
    try:
        tags = ID3(path, load_v1=False)
    except ID3NoHeaderError:
        tags = ID3()
    out["version"] = "2.%d" % tags.version[1]
    out["encodings"] = sorted({int(frame.encoding) for frame in tags.values() if hasattr(frame, "encoding")})
    for key, frame in tags.items():
        if key.startswith("UFID:"):
            put(key, frame.data.decode("utf-8"))
        else:
            put(key, "\n".join(str(text) for text in frame.text))
elif path.endswith(".ape"):
    try:
        for key, value in APEv2(path).items():
            put(key, str(value))
    except APENoHeaderError:
        pass
else:
    for key, value in mutagen.File(path).tags:
        put(key.upper(), value)
print(json.dumps(out))
