#!/usr/bin/env python3
"""Makes the archives the archive tests clean: one folder tree, packed as a named user would pack
it by every tool and compression the tests cover, and archives that must be refused."""
import io
import os
import subprocess
import sys
import tarfile
import zipfile

PERSON = "Anna Archiver"


def run(*command, cwd=None):
    subprocess.run(command, check=True, cwd=cwd, stdout=subprocess.DEVNULL)


def make_tree(root):
    trip = os.path.join(root, "home", "anna", "Pictures", "trip")
    os.makedirs(trip)
    photo = os.path.join(trip, "IMG_1.jpg")
    run("convert", "-size", "32x24", "xc:#3366aa", photo)
    run("exiv2", "-M", "set Exif.Image.Artist " + PERSON, "-M",
        "set Exif.GPSInfo.GPSLatitude 48/1 51/1 2964/100", photo)
    with open(os.path.join(trip, "IMG_1.xmp"), "w") as sidecar:
        sidecar.write('<?xpacket begin=""?><x:xmpmeta><dc:creator>' + PERSON + "</dc:creator>"
                      "</x:xmpmeta>")
    # A link into the home by its whole path, and a second name of the sidecar, which tar keeps as
    # a hard link to it.
    os.symlink("/home/anna/Pictures/trip/IMG_1.jpg", os.path.join(trip, "latest.jpg"))
    os.link(os.path.join(trip, "IMG_1.xmp"), os.path.join(trip, "IMG_1-copy.dat"))
    notes = os.path.join(root, "home", "anna", "notes.txt")
    with open(notes, "w") as out:
        out.write("plain notes\n")
    os.setxattr(notes, "user.comment", PERSON.encode())
    macos = os.path.join(root, "home", "anna", "Pictures", "trip", "__MACOSX")
    os.makedirs(macos)
    with open(os.path.join(macos, "._IMG_1.jpg"), "wb") as out:
        out.write(b"\0\x05\x16\x07" + PERSON.encode())


def tar_with(members, path):
    with tarfile.open(path, "w") as archive:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data))


def main():
    folder = sys.argv[1]
    root = os.path.join(folder, "tree")
    make_tree(root)
    tar = ["tar", "--format=pax", "--xattrs", "--owner=anna:1234", "--group=staff:99", "-C", root]
    run(*tar, "-cf", os.path.join(folder, "tree.tar"), "home")
    for suffix, option in ((".tar.gz", "-z"), (".tar.bz2", "-j"), (".tar.xz", "-J"),
                           (".tar.zst", "--zstd")):
        run(*tar, option, "-cf", os.path.join(folder, "tree" + suffix), "home")
    run("7z", "a", "-bd", os.path.join(folder, "tree.7z"), "home", cwd=root)
    run("7z", "a", "-bd", "-pSECRET", os.path.join(folder, "locked.7z"), "home", cwd=root)
    run("7z", "a", "-bd", "-pSECRET", "-mhe=on", os.path.join(folder, "hidden.7z"), "home",
        cwd=root)
    run("7z", "a", "-bd", "-tzip", "-pSECRET", os.path.join(folder, "locked.zip"), "home",
        cwd=root)
    with zipfile.ZipFile(os.path.join(folder, "tree.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        for base, _, files in os.walk(os.path.join(root, "home")):
            for name in files:
                path = os.path.join(base, name)
                if not os.path.islink(path):  # zipfile would follow it out of the tree
                    archive.write(path, os.path.relpath(path, root))
    with zipfile.ZipFile(os.path.join(folder, "climbing.zip"), "w") as archive:
        archive.writestr("../x", b"escape")
    tar_with([("../x", b"escape")], os.path.join(folder, "climbing.tar"))
    tar_with([("/etc/x", b"escape")], os.path.join(folder, "rooted.tar"))
    with open(os.path.join(folder, "tree.tar.gz"), "rb") as whole:
        data = whole.read()
    with open(os.path.join(folder, "cut.tar.gz"), "wb") as out:
        out.write(data[: len(data) // 2])


if __name__ == "__main__":
    main()
