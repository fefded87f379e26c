#!/usr/bin/env python3
"""Checks the packages tests/package/make-packages made, on the build machine:
the archive holds exactly the files the installer installs, byte for byte;
names carry the version; the installer asks for no administrator rights; and
the signatures of the program and the installer verify against the throwaway
authority, while a changed program does not."""
import glob
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

PACKAGES = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ.get("QUAYLET_PACKAGES", "")
CA = os.path.join(PACKAGES, "cert", "ca.pem")


def msi_table(msi, table):
    text = subprocess.run(["msiinfo", "export", msi, table], check=True, capture_output=True, text=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def files_below(folder):
    found = {}
    for here, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(here, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder).replace(os.sep, "/")] = f.read()
    return found


def verifies(path):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", CA, "-in", path],
                          capture_output=True, text=True).returncode == 0


class Packages(unittest.TestCase):
    def packages(self):
        for kind in ("new", "old"):
            msis = glob.glob(os.path.join(PACKAGES, kind, "*.msi"))
            zips = glob.glob(os.path.join(PACKAGES, kind, "*-portable.zip"))
            self.assertEqual((len(msis), len(zips)), (1, 1), kind)
            yield msis[0], zips[0]

    def test_names_carry_the_packaged_version(self):
        for msi, archive in self.packages():
            version = dict(msi_table(msi, "Property"))["ProductVersion"]
            self.assertEqual(os.path.basename(msi), f"ZeltoQuaylet-{version}-x64.msi")
            self.assertEqual(os.path.basename(archive), f"ZeltoQuaylet-{version}-x64-portable.zip")

    def test_installs_without_administrator_rights(self):
        for msi, _ in self.packages():
            summary = dict(msi_table(msi, "_SummaryInformation"))
            self.assertTrue(int(summary["15"]) & 8, "the package asks for elevation")
            self.assertNotIn("ALLUSERS", dict(msi_table(msi, "Property")))

    def test_archive_holds_exactly_the_installed_files(self):
        for msi, archive in self.packages():
            with tempfile.TemporaryDirectory() as tmp:
                subprocess.run(["msiextract", "-C", tmp, msi], check=True, capture_output=True)
                installed = files_below(os.path.join(tmp, "Programs", "Zelto", "Quaylet"))
                self.assertEqual(files_below(tmp).keys(),
                                 {"Programs/Zelto/Quaylet/" + k for k in installed})
            with zipfile.ZipFile(archive) as z:
                top = os.path.basename(archive)[:-len("-portable.zip")] + "/"
                self.assertTrue(all(n.startswith(top) for n in z.namelist()), z.namelist())
                portable = {n[len(top):]: z.read(n) for n in z.namelist() if not n.endswith("/")}
            self.assertIn("quaylet.exe", installed)
            self.assertIn("help/index.html", installed)
            self.assertEqual(sorted(portable), sorted(installed))
            for name in installed:
                self.assertEqual(portable[name], installed[name], name)

    def test_program_and_installer_signatures_verify(self):
        for msi, archive in self.packages():
            self.assertTrue(verifies(msi), msi)
            with tempfile.TemporaryDirectory() as tmp:
                with zipfile.ZipFile(archive) as z:
                    exe_name = next(n for n in z.namelist() if n.endswith("/quaylet.exe"))
                    exe = z.extract(exe_name, tmp)
                self.assertTrue(verifies(exe), exe)
                # The same check must refuse a program changed after signing.
                with open(exe, "r+b") as f:
                    f.seek(os.path.getsize(exe) // 3)
                    byte = f.read(1)
                    f.seek(-1, os.SEEK_CUR)
                    f.write(bytes([byte[0] ^ 0xFF]))
                self.assertFalse(verifies(exe), "a changed program still verifies")


if __name__ == "__main__":
    if not PACKAGES or not os.path.isfile(CA):
        sys.exit(f"no packages made by tests/package/make-packages in '{PACKAGES}'")
    unittest.main(verbosity=2)
