#!/usr/bin/env python3
"""The include-direction check on small planted trees, with the project's own table: each
include against the table is reported with its file and line and fails the check; the
includes the table allows pass. Also a table with a cycle."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
CHECK = os.path.join(SOURCE_DIR, 'cmake', 'check_include_layers.py')
TABLE = os.path.join(SOURCE_DIR, 'cmake', 'IncludeLayers.txt')


def run_check(files, table=TABLE):
    """Writes the files ({path: text}) into a new tree; the check's exit code and lines."""
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), 'w', encoding='utf-8') as out:
                out.write(text)
        done = subprocess.run([sys.executable, CHECK, root, table], capture_output=True, text=True)
        return done.returncode, done.stdout.splitlines()


# A unit of the lowest loader layer and one of the operations, as the tree has them.
BASE = {
    'loader/io/IOSerial.h': '#pragma once\n#include "loader/io/IODevice.h"\n',
    'loader/io/IODevice.h': '#pragma once\n#include "platform/Exceptions.h"\n',
    'loader/ops/LoaderRead.h': '#pragma once\n#include "model/Memory.h"\n',
    'loader/ops/LoaderRead.cpp': '#include "loader/ops/LoaderRead.h"\n\n#include "loader/core/LoaderCore.h"\n'
                                 '#include "loader/protocol/LoaderTransfer.h"\n#include <vector>\n',
    'configurator/core/LoaderHost.cpp': '#include "configurator/core/LoaderHost.h"\n'
                                        '#include "loader/SarnupolexLib.h"\n#include "common/StrRoutines.h"\n',
}

CASES = [
    ('the tree as it is passes', {}, []),
    ('upward include inside the loader',
     {'loader/io/IOSerial.cpp': '#include "loader/io/IOSerial.h"\n\n#include "loader/ops/LoaderRead.h"\n'},
     ['loader/io/IOSerial.cpp:3: loader/io/ may not include "loader/ops/LoaderRead.h"']),
    ('upward include in a header, indented and spaced',
     {'loader/io/IODevice.h': '#pragma once\n  #  include "loader/core/LoaderCore.h"\n'},
     ['loader/io/IODevice.h:2: loader/io/ may not include "loader/core/LoaderCore.h"']),
    ('the loader including the configurator',
     {'loader/protocol/LoaderTransfer.cpp': '#include "configurator/core/ProgressMgr.h"\n'},
     ['loader/protocol/LoaderTransfer.cpp:1: loader/protocol/ may not include "configurator/core/ProgressMgr.h"']),
    ('the configurator including more of the loader than its interface header',
     {'configurator/core/LoaderHost.cpp': BASE['configurator/core/LoaderHost.cpp'] + '#include "loader/core/LoaderCore.h"\n'},
     ['configurator/core/LoaderHost.cpp:4: configurator/core/ may not include "loader/core/LoaderCore.h"']),
    ('sideways between two layers over the same one',
     {'loader/dialogs/FParam.cpp': '// the dialog\n#include "loader/protocol/LoaderScript.h"\n'},
     ['loader/dialogs/FParam.cpp:2: loader/dialogs/ may not include "loader/protocol/LoaderScript.h"']),
    ('the model including the window layer\'s Qt side',
     {'model/Memory.cpp': '#include "model/Memory.h"\n#include "platform/qt/QtWindows.h"\n'},
     ['model/Memory.cpp:2: model/ may not include "platform/qt/QtWindows.h"']),
    ('an include without a folder',
     {'archive/HvoAes.cpp': '#include "HvoAes.h"\n'},
     ['archive/HvoAes.cpp:1: "HvoAes.h" names no folder; includes are written "folder/Unit.h"']),
    ('a folder the table lacks',
     {'loader/extra/Unit.cpp': '#include "loader/io/IODevice.h"\n'},
     ['loader/extra/Unit.cpp:1: the folder loader/extra/ has no line in the include table']),
    ('includes in comments, system includes and other files are not read',
     {'loader/io/Modbus.cpp': '// #include "loader/ops/LoaderRead.h"\n#include <QWidget>\n',
      'loader/io/notes.txt': '#include "configurator/FCfgMain.h"\n'},
     []),
]


class PlantedIncludes(unittest.TestCase):
    def test_cases(self):
        for name, planted, expected in CASES:
            with self.subTest(name):
                code, lines = run_check({**BASE, **planted})
                self.assertEqual(lines, expected)
                self.assertEqual(code, 1 if expected else 0)

    def test_a_table_with_a_cycle_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            table = os.path.join(folder, 'layers.txt')
            with open(table, 'w', encoding='utf-8') as out:
                out.write('# folder: may include\nplatform:\nloader/io: platform loader/core\n'
                          'loader/core: loader/io\n')
            code, lines = run_check({'loader/io/IODevice.h': '#pragma once\n'}, table)
        self.assertEqual(code, 1)
        self.assertEqual(lines, [
            'layers.txt:3: loader/io/ may include itself through the folders below it: the table has a cycle',
            'layers.txt:4: loader/core/ may include itself through the folders below it: the table has a cycle'])


if __name__ == '__main__':
    unittest.main()
