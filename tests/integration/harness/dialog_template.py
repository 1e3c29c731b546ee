"""Dialog template 102 as the resource script states it, for the tests that
measure the dialog on a display (the faces read the same script).

    caption, (width, height), rects = dialog_template()
    rects[1009]    # (x, y, width, height) of a control, in dialog units
"""

import os
import re

RESOURCE_SCRIPT = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))), "src", "app", "resources", "qarx_service.rc")


def dialog_template(path=RESOURCE_SCRIPT):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    body = text[text.index("102 DIALOGEX"):]
    body = body[:body.index("\nEND")]
    size = tuple(int(n) for n in re.match(r"102 DIALOGEX\s+\d+,\s*\d+,\s*(\d+),\s*(\d+)", body).groups())
    caption = re.search(r'^CAPTION "([^"]*)"', body, re.M).group(1)
    rects = {}
    # The numeric id is followed, after an optional class, by the four numbers.
    for line in body.splitlines():
        match = re.match(r'\s+(?:PUSHBUTTON|LISTBOX|CONTROL|LTEXT)\s+(?:"[^"]*",\s*)?(\d+),'
                         r'(?:\s*[A-Z_]+,\s*[A-Z_| ]+,)?\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)', line)
        if match:
            rects[int(match.group(1))] = tuple(int(n) for n in match.groups()[1:])
    return caption, size, rects
