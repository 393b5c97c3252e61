"""Seeded generator of home directories with Git checkouts, for the benchmark.

Two shapes: "checkouts", homes full of checkouts, where most directories lie in working
trees and repositories; "outside", fewer checkouts beside caches, out-of-tree build
directories and documents, where most directories lie outside any working tree.

The same size, shape and seed give the same tree: names, contents and times (files,
directories and links get their times set explicitly, to the nanosecond). A manifest written last into
the tree's root records the packs with their generated and expected times; its presence
marks a finished tree.

Working-tree and plain files are empty: none of the measured tools reads them, and empty
files cost no disk blocks. Git's own files carry a few bytes of plausible content.
"""

import json
import math
import os
import random
from dataclasses import dataclass

# Part of the cache key: bump it whenever the same seed would give a different tree.
VERSION = 1

MANIFEST = "manifest.json"


@dataclass(frozen=True)
class Profile:
    directories: int  # directories in the whole tree, its root included
    repositories: int  # directories that pass the repository test
    users: int
    worktree_median: int  # directories in a typical working tree


SIZES = {
    "small": Profile(directories=20_000, repositories=256, users=3, worktree_median=10),
    "large": Profile(directories=300_000, repositories=2_500, users=12, worktree_median=22),
}
SHAPES = ("checkouts", "outside")
# The "outside" shape: as many directories, fewer repositories, so that more than half of
# the directories lie outside working trees and must be opened by a walk like Tidemark's.
OUTSIDE = {
    "small": Profile(directories=20_000, repositories=180, users=3, worktree_median=10),
    "large": Profile(directories=300_000, repositories=1_800, users=12, worktree_median=22),
}

USERS = ("alice bob carol dave erin frank grace heidi ivan judy mallory niaj olivia peggy "
         "rupert sybil trent victor walter yolanda").split()
SOURCE_DIRS = ("src lib include tests test docs examples scripts tools cmake config internal pkg cmd "
               "api core util common bench assets static templates public app server client web ui "
               "components models views services handlers proto third_party vendor data fixtures "
               "resources locale ci deploy migrations plugins drivers net io fs crypto parser codegen "
               "runtime support samples generated detail impl platform posix win32 v1 v2").split()
SOURCE_STEMS = ("main util config parser server client handler model view types errors test_main "
                "index app helpers options buffer stream reader writer cache pool queue table list "
                "map tree graph format encode decode hash log metrics auth session schema").split()
SOURCE_EXTS = ".c .h .cc .cpp .hpp .py .go .rs .js .ts .java .md .txt .json .yml .toml .sh".split()
TOP_FILES = ("README.md LICENSE Makefile CMakeLists.txt .gitignore .editorconfig setup.py "
             "package.json go.mod Cargo.toml CHANGELOG.md CONTRIBUTING.md .clang-format").split()
PLAIN_DIRS = ("2019 2020 2021 2022 2023 2024 archive backup invoices photos scans notes drafts old "
              "misc shared travel family albums videos papers slides reports receipts taxes temp "
              "logs thumbnails fonts themes icons profiles settings extensions state sessions "
              "storage databases recent trash").split()
PLAIN_STEMS = ("notes report invoice scan photo IMG_2041 IMG_3310 DSC_0042 summary letter budget "
               "draft slides backup export settings prefs state history").split()
PLAIN_EXTS = ".pdf .txt .odt .jpg .png .json .xml .db .log .csv .mp3 .zip".split()
HEX_DIRS = [f"{i:02x}" for i in range(256)]
REPO_WORDS = ("tide harbor anchor beacon cobalt delta ember falcon garnet helix iris juniper kestrel "
              "lumen meridian nimbus onyx pylon quartz raven sable tundra umbra vortex willow zephyr "
              "atlas bramble cinder drift").split()
REPO_SUFFIXES = ["", "", "", "-cli", "-server", "-core", "-web", "-docs", "-tools", "-sdk", "-infra", "s"]
TEAMS = ("team-a", "team-b", "ops", "mobile")
BRANCHES = ("fix", "feature", "release", "review")
ORGS = "acme internal oss clients infra platform research upstream forks sandbox".split()
HOOKS = ("applypatch-msg commit-msg fsmonitor-watchman post-update pre-applypatch pre-commit "
         "pre-merge-commit pre-push pre-rebase pre-receive prepare-commit-msg push-to-checkout "
         "update").split()
HOME_DIRS = ("Documents", "Downloads", "Pictures", "Music", ".config", ".cache", ".local",
             ".local/share", ".dotfiles", "src", "work", "projects", "go", "go/src",
             "go/src/github.com")
# Where plain directories grow, with the vocabulary of their names.
FILLER_ROOTS = ((".cache", HEX_DIRS), (".config", PLAIN_DIRS), (".local/share", PLAIN_DIRS),
                ("Documents", PLAIN_DIRS), ("Downloads", PLAIN_DIRS), ("Pictures", PLAIN_DIRS),
                ("Music", PLAIN_DIRS))
# Out-of-tree build directories, which the "outside" shape adds to the filler.
BUILD_DIRS = ("CMakeFiles obj bin lib Debug Release RelWithDebInfo x64 gen generated deps objs "
              "intermediates incremental tmp dist out target classes artifacts modules cache "
              "src tests tools third_party").split()
BUILD_STEMS = ("main util config parser server client handler model view types errors buffer "
               "stream reader writer cache pool queue table").split()
BUILD_EXTS = ".o .obj .d .a .so .dep .stamp .ninja .cmake .json .log .tlog".split()

SECOND = 10**9
DAY = 86_400 * SECOND
START_NS = 1_672_531_200 * SECOND  # 2023-01-01 UTC
SPAN_NS = 700 * DAY
# How far an out-of-line pack's time lies from its index's, in nanoseconds.
DRIFTS = (1, 100, 999, 1_000, 1_000_000, SECOND, 3_600 * SECOND, 30 * DAY)
OUT_OF_LINE = 0.3
WITHOUT_INDEX = 0.04


def weighted(rng, table):
    """One value of a {value: weight} table."""
    return rng.choices(list(table), weights=list(table.values()))[0]


def hex_name(rng, digits):
    return f"{rng.getrandbits(4 * digits):0{digits}x}"


def unique_names(rng, vocabulary, count, taken):
    """count names from vocabulary, none of them in taken (which is updated)."""
    names = []
    for _ in range(count):
        name = rng.choice(vocabulary)
        if name in taken:
            # The suffix is the set's size, which no earlier name in this directory carries.
            name = f"{name}-{len(taken)}"
        taken.add(name)
        names.append(name)
    return names


class TreeWriter:
    """Creates entries, counting directories and recording their times."""

    def __init__(self, rng):
        self.rng = rng
        self.directories = 0
        self.directory_times = []

    def some_time(self):
        return START_NS + self.rng.randrange(SPAN_NS)

    def mkdir(self, path, ns=None):
        os.mkdir(path)
        self.directories += 1
        # A directory's time can only be set once nothing more is created in it.
        self.directory_times.append((path, self.some_time() if ns is None else ns))

    def makedirs(self, path):
        """path and its missing parents."""
        if not os.path.isdir(path):
            self.makedirs(os.path.dirname(path))
            self.mkdir(path)

    def file(self, path, data=b"", ns=None):
        ns = self.some_time() if ns is None else ns
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            if data:
                os.write(fd, data)
            os.utime(fd, ns=(ns, ns))
        finally:
            os.close(fd)

    def symlink(self, target, path):
        os.symlink(target, path)
        ns = self.some_time()
        os.utime(path, ns=(ns, ns), follow_symlinks=False)

    def set_directory_times(self):
        for path, ns in self.directory_times:
            os.utime(path, ns=(ns, ns))

    def grow(self, top, count, dir_names, stems, exts, files_weights):
        """count directories below the existing top, at random fan-out and depth, each with
        a few empty files."""
        stack = [(top, count, 0)]
        while stack:
            path, budget, depth = stack.pop()
            taken = set()
            for name in unique_names(self.rng, stems, weighted(self.rng, files_weights), taken):
                self.file(f"{path}/{name}{self.rng.choice(exts)}")
            if budget == 0:
                continue
            # Deep trees flatten out, so no chain grows without bound.
            fan_out = budget if depth >= 10 else min(budget, weighted(self.rng, FAN_OUT))
            children = unique_names(self.rng, dir_names, fan_out, taken)
            shares = split(self.rng, budget - fan_out, fan_out)
            for name, share in zip(children, shares):
                self.mkdir(f"{path}/{name}")
                stack.append((f"{path}/{name}", share, depth + 1))


FAN_OUT = {1: 20, 2: 25, 3: 20, 4: 12, 5: 8, 6: 5, 8: 4, 12: 3, 20: 2, 40: 1}
SOURCE_FILES = {0: 15, 1: 15, 2: 15, 3: 15, 4: 10, 6: 10, 9: 10, 14: 6, 25: 4}
PLAIN_FILES = {0: 30, 1: 20, 2: 15, 3: 10, 5: 10, 8: 8, 15: 5, 30: 2}


def split(rng, total, parts):
    """total divided into parts random, skewed shares (largest remainders rounded up)."""
    weights = [rng.random() ** 3 + 1e-9 for _ in range(parts)]
    scale = total / sum(weights)
    shares = [math.floor(w * scale) for w in weights]
    by_remainder = sorted(range(parts), key=lambda i: shares[i] - weights[i] * scale)
    for i in by_remainder[: total - sum(shares)]:
        shares[i] += 1
    return shares


class Generator:
    """One tree of a given size and seed; every random choice comes from one seeded stream,
    taken in a fixed order."""

    def __init__(self, root, size, seed, shape="checkouts"):
        self.profile = SIZES[size] if shape == "checkouts" else OUTSIDE[size]
        self.size = size
        self.shape = shape
        self.seed = seed
        self.rng = random.Random(f"{size}:{seed}" if shape == "checkouts" else f"{size}:{shape}:{seed}")
        self.w = TreeWriter(self.rng)
        self.root = root
        self.repositories = 0
        self.packs = []  # [path below root, generated time, expected time]
        self.containers = {}  # directory holding checkouts -> names taken in it
        self.checkouts = {}  # user -> checkout paths
        # The first packs made cover the cases that matter most, whatever the seed.
        self.pending_packs = [1, -1, None]  # drift in ns, or None: no index

    def relative(self, path):
        return os.path.relpath(path, self.root)

    # -- Git administrative directories --

    def git_skeleton(self, git_dir, t, *, with_index=True):
        """The files and directories that every repository directory has; t: its clone time."""
        w, rng = self.w, self.rng
        w.mkdir(git_dir, t)
        for d in ("objects", "objects/info", "objects/pack", "refs", "refs/heads", "refs/tags",
                  "hooks", "info", "branches"):
            w.mkdir(f"{git_dir}/{d}", t + rng.randrange(DAY))
        w.file(f"{git_dir}/HEAD", b"ref: refs/heads/main\n", t)
        w.file(f"{git_dir}/description", b"Unnamed repository; edit this file to name it.\n", t)
        w.file(f"{git_dir}/config", b"[core]\n\trepositoryformatversion = 0\n\tbare = false\n", t)
        w.file(f"{git_dir}/info/exclude", b"# git ls-files --others --exclude-from=.git/info/exclude\n", t)
        for hook in HOOKS:
            w.file(f"{git_dir}/hooks/{hook}.sample", b"#!/bin/sh\nexit 0\n", t)
        if with_index:
            w.file(f"{git_dir}/index", b"DIRC\0\0\0\2" + rng.randbytes(rng.randrange(24, 160)))

    def git_history(self, git_dir, t):
        """Refs, logs, loose objects and packs of a repository that has been used."""
        w, rng = self.w, self.rng
        commit = hex_name(rng, 40).encode() + b"\n"
        w.file(f"{git_dir}/refs/heads/main", commit)
        for d in ("refs/remotes", "refs/remotes/origin", "logs", "logs/refs", "logs/refs/heads",
                  "logs/refs/remotes", "logs/refs/remotes/origin"):
            w.mkdir(f"{git_dir}/{d}")
        w.file(f"{git_dir}/refs/remotes/origin/HEAD", b"ref: refs/remotes/origin/main\n")
        w.file(f"{git_dir}/logs/HEAD", b"0" * 40 + b" " + commit)
        w.file(f"{git_dir}/logs/refs/heads/main", b"0" * 40 + b" " + commit)
        if rng.random() < 0.5:
            w.file(f"{git_dir}/packed-refs", b"# pack-refs with: peeled fully-peeled sorted\n" + commit)
        if rng.random() < 0.4:
            w.file(f"{git_dir}/FETCH_HEAD", commit)
            w.file(f"{git_dir}/ORIG_HEAD", commit)
        for tag in range(weighted(rng, {0: 6, 2: 2, 10: 1})):
            w.file(f"{git_dir}/refs/tags/v{tag}.0", commit)
        loose = weighted(rng, {0: 40, 4: 20, 15: 20, 60: 12, 150: 5, 256: 3})
        for prefix in sorted(rng.sample(HEX_DIRS, loose)):
            w.mkdir(f"{git_dir}/objects/{prefix}")
            for _ in range(rng.randrange(1, 4)):
                w.file(f"{git_dir}/objects/{prefix}/{hex_name(rng, 38)}", b"x\x01" + rng.randbytes(rng.randrange(16, 64)))
        for _ in range(weighted(rng, {1: 40, 2: 25, 3: 15, 4: 8, 5: 5, 6: 4, 8: 2, 12: 1})):
            self.pack(f"{git_dir}/objects/pack", t + rng.randrange(SPAN_NS // 2))

    def pack(self, pack_dir, idx_time):
        """One pack with (mostly) its index, at the index's time or off it."""
        w, rng = self.w, self.rng
        base = f"{pack_dir}/pack-{hex_name(rng, 40)}"
        if self.pending_packs:
            drift = self.pending_packs.pop(0)
        elif rng.random() < WITHOUT_INDEX:
            drift = None
        elif rng.random() < OUT_OF_LINE:
            drift = rng.choice(DRIFTS) * rng.choice((1, -1))
        else:
            drift = 0
        pack_time = idx_time + (rng.randrange(-DAY, DAY) if drift is None else drift)
        w.file(f"{base}.pack", b"PACK\0\0\0\2" + rng.randbytes(rng.randrange(20, 200)), pack_time)
        if drift is not None:
            w.file(f"{base}.idx", b"\377tOc\0\0\0\2" + rng.randbytes(rng.randrange(20, 120)), idx_time)
            if rng.random() < 0.3:
                w.file(f"{base}.rev", b"RIDX\0\0\0\1" + rng.randbytes(16), idx_time)
        expected = pack_time if drift is None else idx_time
        self.packs.append([self.relative(f"{base}.pack"), pack_time, expected])

    def repository(self, git_dir, t, depth):
        """A repository directory with its history and, at times, submodules under modules/.
        Returns the submodules as (path in the working tree, git directory, their own)."""
        w, rng = self.w, self.rng
        self.git_skeleton(git_dir, t)
        self.git_history(git_dir, t)
        self.repositories += 1
        count = weighted(rng, {0: 90, 1: 5, 2: 3, 3: 2}) if depth == 0 else \
            weighted(rng, {0: 75, 1: 15, 2: 10}) if depth < 3 else 0
        if count:
            w.mkdir(f"{git_dir}/modules")
        submodules = []
        for name in unique_names(rng, REPO_WORDS, count, set()):
            # A submodule's name is its path, which often has a directory part; its
            # repository then lies deeper: modules/external/zlib/.
            if rng.random() < 0.4:
                name = f"{rng.choice(('external', 'deps', 'extern'))}/{name}"
            sub_git_dir = f"{git_dir}/modules/{name}"
            w.makedirs(os.path.dirname(sub_git_dir))
            submodules.append((name, sub_git_dir, self.repository(sub_git_dir, t + rng.randrange(DAY), depth + 1)))
        return submodules

    # -- Working trees --

    def worktree_content(self, path, median):
        w, rng = self.w, self.rng
        for name in unique_names(rng, TOP_FILES, rng.randrange(2, 8), set()):
            w.file(f"{path}/{name}")
        count = min(4000, round(rng.lognormvariate(math.log(median), 1.1)))
        w.grow(path, count, SOURCE_DIRS, SOURCE_STEMS, SOURCE_EXTS, SOURCE_FILES)

    def submodule_worktrees(self, worktree, submodules, median):
        """The checked-out submodules inside a working tree, each with a .git file."""
        for name, git_dir, nested in submodules:
            path = f"{worktree}/{name}"
            self.w.makedirs(path)
            self.w.file(f"{path}/.git", f"gitdir: {os.path.relpath(git_dir, path)}\n".encode())
            self.worktree_content(path, max(2, median // 3))
            self.submodule_worktrees(path, nested, median)

    def checkout(self, path, user):
        """A working tree with its .git directory, submodules and, at times, a linked worktree."""
        w, rng = self.w, self.rng
        t = w.some_time()
        w.mkdir(path)
        self.checkouts.setdefault(user, []).append(path)
        median = self.profile.worktree_median
        if rng.random() < 0.02:
            # Just initialised: no index and no packs yet, so not a repository.
            self.git_skeleton(f"{path}/.git", t, with_index=False)
            self.worktree_content(path, 2)
            return
        submodules = self.repository(f"{path}/.git", t, 0)
        self.worktree_content(path, median)
        self.submodule_worktrees(path, submodules, median)
        if rng.random() < 0.05:
            self.linked_worktree(path, median)

    def linked_worktree(self, main, median):
        """A second working tree of main's repository, beside it: its .git is a file."""
        w, rng = self.w, self.rng
        branch = rng.choice(BRANCHES)
        path = f"{main}-{branch}"
        admin = f"{main}/.git/worktrees/{branch}"
        w.makedirs(admin)
        w.file(f"{admin}/HEAD", f"ref: refs/heads/{branch}\n".encode())
        w.file(f"{admin}/commondir", b"../..\n")
        w.file(f"{admin}/gitdir", f"{os.path.relpath(path, admin)}/.git\n".encode())
        w.file(f"{admin}/index", b"DIRC\0\0\0\2" + rng.randbytes(40))
        w.mkdir(path)
        w.file(f"{path}/.git", f"gitdir: {os.path.relpath(admin, path)}\n".encode())
        self.worktree_content(path, median)

    # -- Homes --

    def container(self, path):
        """The names taken in a directory that holds checkouts; the directory is made on first use."""
        if path not in self.containers:
            self.w.makedirs(path)
            self.containers[path] = set()
        return self.containers[path]

    def place_checkout(self, homes):
        rng = self.rng
        user = rng.choice(list(homes))
        home = homes[user]
        org = rng.choice(ORGS)
        where = weighted(rng, {
            f"{home}/src": 35,
            f"{home}/work/{org}": 25,
            f"{home}/projects/{rng.choice(PLAIN_DIRS[:6])}": 20,
            f"{home}/go/src/github.com/{org}": 10,
            f"{home}/work/{org}/{rng.choice(TEAMS)}": 10,
        })
        taken = self.container(where)
        name = unique_names(rng, [w + s for w in REPO_WORDS for s in REPO_SUFFIXES], 1, taken)[0]
        # A linked worktree lies beside its checkout; keep its name free.
        for branch in BRANCHES:
            taken.add(f"{name}-{branch}")
        self.checkout(f"{where}/{name}", user)

    def homes(self):
        homes = {}
        for user in USERS[: self.profile.users]:
            home = f"{self.root}/{user}"
            self.w.mkdir(home)
            for d in HOME_DIRS:
                self.w.mkdir(f"{home}/{d}")
            for name in ("bashrc", "vimrc", "gitconfig"):
                self.w.file(f"{home}/.dotfiles/{name}", b"# " + name.encode() + b"\n")
            homes[user] = home
        return homes

    def filler(self, homes):
        """Plain directories in the homes, up to the profile's directory count."""
        budget = self.profile.directories - self.w.directories
        if budget < 0:
            raise RuntimeError(f"checkouts alone made {self.w.directories} directories, "
                               f"more than the {self.profile.directories} wanted")
        places = [(f"{home}/{d}", names, PLAIN_STEMS, PLAIN_EXTS)
                  for home in homes.values() for d, names in FILLER_ROOTS]
        if self.shape == "outside":
            for home in homes.values():
                self.w.mkdir(f"{home}/builds")
                places.append((f"{home}/builds", BUILD_DIRS, BUILD_STEMS, BUILD_EXTS))
            budget = self.profile.directories - self.w.directories
        for (top, names, stems, exts), share in zip(places, split(self.rng, budget, len(places))):
            self.w.grow(top, share, names, stems, exts, PLAIN_FILES)

    def links(self, homes):
        """A few symbolic links: to a file, to directories, and one that dangles."""
        for user, home in homes.items():
            self.w.symlink(".dotfiles/bashrc", f"{home}/.bashrc")
            target = self.checkouts.get(user, [f"{home}/Documents"])[0]
            self.w.symlink(os.path.relpath(target, home), f"{home}/current")
            self.w.symlink("Documents", f"{home}/docs")
        first = next(iter(homes.values()))
        self.w.symlink("../no-such-directory", f"{first}/Downloads/broken-link")

    def run(self):
        self.w.mkdir(self.root)
        homes = self.homes()
        while self.repositories < self.profile.repositories:
            self.place_checkout(homes)
        self.filler(homes)
        self.links(homes)
        manifest = {
            "size": self.size,
            "seed": self.seed,
            "version": VERSION,
            "directories": self.w.directories,
            "repositories": self.repositories,
            "packs": self.packs,
        }
        if self.shape != "checkouts":  # so that the first shape's trees stay as they were
            manifest["shape"] = self.shape
        self.w.file(f"{self.root}/{MANIFEST}", json.dumps(manifest, indent=0).encode(), START_NS)
        self.w.set_directory_times()
        return manifest


def generate(root, size, seed, shape="checkouts"):
    """Writes the tree of that size, seed and shape into root, which must not exist yet;
    returns the manifest."""
    return Generator(os.path.abspath(root), size, seed, shape).run()


def load_manifest(root):
    """The manifest of a finished tree, or None when root holds no finished tree."""
    try:
        with open(os.path.join(root, MANIFEST), "rb") as f:
            return json.load(f)
    except FileNotFoundError:
        return None


def main(argv=None):
    import argparse
    import time

    parser = argparse.ArgumentParser(
        prog="bench/generate",
        description="Writes a seeded tree of home directories with Git checkouts into DIR "
                    "(which must not exist). The same size, shape and seed give the same tree.")
    parser.add_argument("--size", choices=SIZES, default="small")
    parser.add_argument("--shape", choices=SHAPES, default="checkouts")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("directory", metavar="DIR")
    args = parser.parse_args(argv)
    if os.path.lexists(args.directory):
        parser.error(f"{args.directory} exists already")
    start = time.perf_counter()
    manifest = generate(args.directory, args.size, args.seed, args.shape)
    print(f"{args.directory}: {manifest['directories']} directories, "
          f"{manifest['repositories']} repositories, {len(manifest['packs'])} packs "
          f"({time.perf_counter() - start:.1f} s)")
