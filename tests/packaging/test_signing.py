"""The installer signed by the build: a throw-away certificate authority with a code-signing and a
time-stamping certificate made with openssl, a time-stamp server of our own on the loopback, and
a build tree of its own (signed-test in the build tree) built unsigned, signed, and unsigned
again from a folder of stand-in installers. The signature is checked by osslsigncode against that
authority, and the signed installer runs a silent install under Wine as the unsigned one does.

Set by the test run: QVKU_BUILD (the build tree whose wine-run and qvprobe are used), QVKU_SOURCE,
QVKU_STANDIN (the stand-in installer), QVKU_TOOLCHAIN, QVKU_TEST_ARCH."""
import http.server
import os
import re
import secrets
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

import pefile

BUILD = os.path.abspath(os.environ["QVKU_BUILD"])
SOURCE = os.path.abspath(os.environ["QVKU_SOURCE"])
STANDIN = os.environ["QVKU_STANDIN"]
TOOLCHAIN = os.environ["QVKU_TOOLCHAIN"]
ARCH = os.environ.get("QVKU_TEST_ARCH", "win32")
TREE = os.path.join(BUILD, "signed-test")
OSSLSIGNCODE = shutil.which("osslsigncode") or "/usr/bin/osslsigncode"
ENU = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe"
CHS = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe"
ENU_SHA256 = "6c2c589132e830a185c5f40f82042bee3022e721a216680bd9b3995ba86f3781"
PASSWORD_VARIABLE = "QVKU_TEST_SIGNING_PASSWORD"
NOT_RUN = 77

EXTENSIONS = """
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[codesign]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
[tsa]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, nonRepudiation
extendedKeyUsage = critical, timeStamping
authorityKeyIdentifier = keyid
"""

TSA_CONFIG = """
[tsa]
default_tsa = tsa_config
[tsa_config]
dir = {dir}
serial = $dir/tsa.serial
crypto_device = builtin
signer_cert = $dir/tsa.pem
certs = $dir/ca.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def run(cmd, env=None, **kw):
    return subprocess.run(cmd, env=env, capture_output=True, text=True, errors="replace", **kw)


class Authority:
    """A certificate authority with a code-signing and a time-stamping certificate under it, and
    the code-signing key in a PKCS#12 file with a password."""

    def __init__(self, folder, name):
        self.dir = folder
        os.makedirs(folder)
        self.file = lambda n: os.path.join(folder, n)
        with open(self.file("ext.cnf"), "w") as f:
            f.write(EXTENSIONS)
        self.password = secrets.token_urlsafe(18)
        self.ca = self.file("ca.pem")
        self._openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.file("ca.key"),
                      "-out", self.ca, "-days", "3", "-subj", f"/CN={name} Test Root",
                      "-extensions", "ca", "-config", self._req_config())
        self.signer = self._issue("codesign", "/CN=Vorlix Test Publisher/O=Vorlix")
        self._issue("tsa", "/CN=QvKu Test Time Stamps")
        self.pkcs12 = self.file("codesign.p12")
        self._openssl("pkcs12", "-export", "-inkey", self.file("codesign.key"), "-in", self.signer,
                      "-certfile", self.ca, "-out", self.pkcs12, "-passout", "env:QVKU_P12_PASSWORD",
                      env=dict(os.environ, QVKU_P12_PASSWORD=self.password))
        self.unprotected_pkcs12 = self.file("codesign-nopass.p12")
        self._openssl("pkcs12", "-export", "-inkey", self.file("codesign.key"), "-in", self.signer,
                      "-certfile", self.ca, "-out", self.unprotected_pkcs12, "-passout", "pass:")

    def _req_config(self):
        path = self.file("req.cnf")
        with open(path, "w") as f:
            f.write("[req]\ndistinguished_name = dn\n[dn]\n" + EXTENSIONS)
        return path

    def _issue(self, kind, subject):
        key, csr, cert = self.file(kind + ".key"), self.file(kind + ".csr"), self.file(kind + ".pem")
        self._openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", subject)
        self._openssl("x509", "-req", "-in", csr, "-CA", self.ca, "-CAkey", self.file("ca.key"),
                      "-CAcreateserial", "-days", "3", "-out", cert, "-extfile", self.file("ext.cnf"),
                      "-extensions", kind)
        return cert

    def _openssl(self, *args, env=None):
        r = run(["openssl", *args], env=env)
        assert r.returncode == 0, (args, r.stderr)


class TimeStampServer:
    """An RFC 3161 time-stamp server on the loopback that answers with `openssl ts -reply`."""

    def __init__(self, authority):
        config = authority.file("tsa.cnf")
        with open(config, "w") as f:
            f.write(TSA_CONFIG.format(dir=authority.dir))
        with open(authority.file("tsa.serial"), "w") as f:
            f.write("01\n")
        server = self
        self.requests = 0
        self.failing = False

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                if server.failing:
                    self.send_error(503)
                    return
                query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                with tempfile.TemporaryDirectory(dir=authority.dir) as d:
                    q, r = os.path.join(d, "q.tsq"), os.path.join(d, "r.tsr")
                    with open(q, "wb") as f:
                        f.write(query)
                    done = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", q,
                                           "-out", r], capture_output=True)
                    if done.returncode != 0:
                        self.send_error(500)
                        return
                    with open(r, "rb") as f:
                        reply = f.read()
                server.requests += 1
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def seed_dependencies():
    """The pinned sources and the extractor as the main build fetched and checked them, so that the
    test's tree does not fetch them again (it would when they are missing)."""
    for part in ("src", "7za"):
        source, target = os.path.join(BUILD, "_deps", part), os.path.join(TREE, "_deps", part)
        if os.path.isdir(source) and not os.path.exists(target):
            shutil.copytree(source, target, symlinks=True)


def verify(exe, ca, tsa_ca=None):
    return run([OSSLSIGNCODE, "verify", "-in", exe, "-CAfile", ca, "-TSA-CAfile", tsa_ca or ca])


def has_signature(path):
    pe = pefile.PE(path, fast_load=True)
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    return security.VirtualAddress != 0 and security.Size != 0


def resources(pe):
    """{(type, name, language): bytes}"""
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                data = lang.data.struct
                out[(str(t.name) if t.name else t.id, str(n.name) if n.name else n.id, lang.id)] = \
                    pe.get_data(data.OffsetToData, data.Size)
    return out


class SignedBuild(unittest.TestCase):
    """Builds once for all cases: refused, unsigned, failing to sign, signed, unsigned again."""

    @classmethod
    def setUpClass(cls):
        os.makedirs(TREE, exist_ok=True)
        cls.work = os.path.join(TREE, "test-files")
        shutil.rmtree(cls.work, ignore_errors=True)
        os.makedirs(cls.work)
        cls.pki = Authority(os.path.join(cls.work, "pki"), "QvKu")
        cls.stranger = Authority(os.path.join(cls.work, "other-pki"), "Stranger")
        cls.tsa = TimeStampServer(cls.pki)
        cls.outputs = []
        try:
            cls._build_all()
        finally:
            cls.tsa.stop()

    @classmethod
    def _file(cls, *parts):
        return os.path.join(cls.work, *parts)

    @classmethod
    def _configure(cls, *options):
        r = run(["cmake", "-S", SOURCE, "-B", TREE, f"-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}", *options])
        cls.outputs.append(r.stdout + r.stderr)
        return r

    @classmethod
    def _build(cls, password=None):
        env = {k: v for k, v in os.environ.items() if not re.match(r"(?i)^(https?|all)_proxy$", k)}
        env["no_proxy"] = "127.0.0.1,localhost"
        env.pop(PASSWORD_VARIABLE, None)
        if password is not None:
            env[PASSWORD_VARIABLE] = password
        r = run(["cmake", "--build", TREE, "--target", "QvKu", "-j2", "-v"], env=env)
        cls.outputs.append(r.stdout + r.stderr)
        return r

    @classmethod
    def _keep(cls, name):
        path = cls._file(name)
        shutil.copyfile(cls.exe, path)
        return path

    @classmethod
    def _build_all(cls):
        seed_dependencies()
        cls.exe = os.path.join(TREE, "dist", "QvKu.exe")
        # Right names and sizes, other contents.
        cls.lookalikes = cls._file("lookalikes")
        os.makedirs(cls.lookalikes)
        for name, size in ((ENU, 69999448), (CHS, 6724704)):
            with open(os.path.join(cls.lookalikes, name), "wb") as f:
                f.truncate(size)
        cls.refused = cls._configure(f"-DNETFX_DIR={cls.lookalikes}", "-DNETFX_ANY_SIZE=OFF")

        standins = cls._file("standins")
        os.makedirs(standins)
        for name in (ENU, CHS):
            shutil.copyfile(STANDIN, os.path.join(standins, name))
        # osslsigncode through a wrapper that records how it was started.
        cls.started = cls._file("osslsigncode-started")
        wrapper = cls._file("osslsigncode")
        with open(wrapper, "w") as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" >"{cls.started}.args"\nenv >"{cls.started}.env"\n'
                    f'exec "{OSSLSIGNCODE}" "$@"\n')
        os.chmod(wrapper, 0o700)
        common = [f"-DNETFX_DIR={standins}", "-DNETFX_ANY_SIZE=ON", f"-DQVKU_OSSLSIGNCODE={wrapper}",
                  f"-DQVKU_SIGN_PASSWORD_ENV={PASSWORD_VARIABLE}"]
        certificate = cls._file("certificate.p12")
        shutil.copyfile(cls.pki.pkcs12, certificate)
        signed = [f"-DQVKU_SIGN_PKCS12={certificate}", f"-DQVKU_SIGN_TIMESTAMP_URL={cls.tsa.url}"]
        unsigned = ["-DQVKU_SIGN_PKCS12=", "-DQVKU_SIGN_TIMESTAMP_URL="]

        cls.unsigned_configure = cls._configure(*common, *unsigned)
        # The payload is packed anew each run, so that its check is seen at build time.
        for stale in ("NET4.5.7z",):
            path = os.path.join(TREE, "payload", stale)
            if os.path.exists(path):
                os.remove(path)
        cls.unsigned_build = cls._build()
        cls.unsigned = cls._keep("unsigned.exe") if cls.unsigned_build.returncode == 0 else None

        # Turned on over the unsigned file: without the password, and with a wrong one, it fails
        # and leaves no executable behind.
        cls.signed_configure = cls._configure(*common, *signed)
        cls.no_password = cls._build(password=None)
        cls.no_password_left = os.path.exists(cls.exe)
        cls.wrong_password = cls._build(password=cls.pki.password + "x")
        cls.wrong_password_left = os.path.exists(cls.exe)
        cls.tsa.failing = True
        cls.no_time_stamp = cls._build(password=cls.pki.password)
        cls.no_time_stamp_left = os.path.exists(cls.exe)
        cls.tsa.failing = False
        requests = cls.tsa.requests
        cls.signed_build = cls._build(password=cls.pki.password)
        cls.time_stamps = cls.tsa.requests - requests
        cls.signed = cls._keep("signed.exe") if cls.signed_build.returncode == 0 else None
        with open(cls.started + ".args") as f:
            cls.started_args = f.read().split("\n")
        with open(cls.started + ".env") as f:
            cls.started_env = f.read()

        # Another certificate in the same file: the next build signs with it.
        shutil.copyfile(cls.stranger.pkcs12, certificate)
        cls.new_certificate_build = cls._build(password=cls.stranger.password)
        cls.new_certificate = cls._keep("new-certificate.exe") if cls.new_certificate_build.returncode == 0 else None

        # Turned off again: the next build is unsigned.
        cls.again_configure = cls._configure(*common, *unsigned)
        cls.again_build = cls._build()
        cls.unsigned_again = cls._keep("unsigned-again.exe") if cls.again_build.returncode == 0 else None

    def require(self, *results):
        for r in results:
            self.assertEqual(r.returncode, 0, r.stdout[-3000:] + r.stderr[-3000:])

    # The payload's identity

    def test_files_of_the_right_names_and_sizes_but_other_contents_are_refused(self):
        self.assertNotEqual(self.refused.returncode, 0)
        out = " ".join((self.refused.stdout + self.refused.stderr).split())
        zeros = run(["sha256sum", os.path.join(self.lookalikes, ENU)]).stdout.split()[0]
        self.assertIn(f"{self.lookalikes}/{ENU} is not the published installer: its SHA-256 is {zeros}, "
                      f"the published SHA-256 is {ENU_SHA256}.", out)

    def test_accepted_other_files_are_named_at_configure_and_at_build_time(self):
        self.require(self.unsigned_configure, self.unsigned_build)
        for r in (self.unsigned_configure, self.unsigned_build):
            out = " ".join((r.stdout + r.stderr).split())
            self.assertIn(f"{ENU} is not the published installer", out)
            self.assertIn(f"{CHS} is not the published installer: its MD5 is", out)
            self.assertIn("Accepted because NETFX_ANY_SIZE is ON", out)
            self.assertRegex(out, CHS + r": SHA-256 [0-9a-f]{64} \(accepted as it is\)")

    # Signing

    def test_without_the_options_the_installer_is_unsigned(self):
        self.require(self.unsigned_build, self.again_build)
        for exe in (self.unsigned, self.unsigned_again):
            self.assertFalse(has_signature(exe))
            self.assertNotEqual(verify(exe, self.pki.ca).returncode, 0)

    def test_the_signature_holds_against_the_authority_with_its_time_stamp(self):
        self.require(self.signed_build)
        self.assertTrue(has_signature(self.signed))
        r = verify(self.signed, self.pki.ca)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertRegex(r.stdout, r"(?i)message digest algorithm\s*:\s*SHA256")
        self.assertIn("Vorlix Test Publisher", r.stdout)
        self.assertRegex(r.stdout, r"(?i)timestamp server signature verification: ok")
        self.assertRegex(r.stdout, r"(?i)text description: Vorlix \.NET Framework 4\.5\.2 Setup")
        self.assertEqual(self.time_stamps, 1)
        # Against another authority the same signature does not hold.
        self.assertNotEqual(verify(self.signed, self.stranger.ca).returncode, 0)

    def test_a_new_certificate_in_the_same_file_signs_the_next_build(self):
        self.require(self.new_certificate_build)
        # Time-stamped by the same server as before.
        r = verify(self.new_certificate, self.stranger.ca, tsa_ca=self.pki.ca)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Stranger Test Root", r.stdout)
        self.assertNotEqual(verify(self.new_certificate, self.pki.ca).returncode, 0)

    def test_a_changed_byte_breaks_the_signature(self):
        self.require(self.signed_build)
        with open(self.signed, "rb") as f:
            data = f.read()
        pe = pefile.PE(data=data)
        text = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text")
        payload = next(v for k, v in resources(pe).items() if k[:2] == ("KU", "NET45"))
        version = next(v for k, v in resources(pe).items() if k[0] == pefile.RESOURCE_TYPE["RT_VERSION"])
        places = {
            "the code": text.PointerToRawData + text.SizeOfRawData // 2,
            "the payload": data.index(payload) + len(payload) // 2,
            "the version block": data.index(version) + 40,
            "the header": pe.OPTIONAL_HEADER.get_field_absolute_offset("MajorOperatingSystemVersion"),
        }
        for what, offset in places.items():
            with self.subTest(what=what):
                changed = bytearray(data)
                changed[offset] ^= 0x01
                path = self._file("changed.exe")
                with open(path, "wb") as f:
                    f.write(changed)
                self.assertNotEqual(verify(path, self.pki.ca).returncode, 0, what)

    def test_signing_fails_without_the_right_password_and_leaves_no_executable(self):
        self.require(self.signed_configure)
        for what, r, left in (("no password", self.no_password, self.no_password_left),
                              ("a wrong password", self.wrong_password, self.wrong_password_left),
                              ("no time stamp", self.no_time_stamp, self.no_time_stamp_left)):
            with self.subTest(what=what):
                self.assertNotEqual(r.returncode, 0)
                self.assertFalse(left, "an unsigned executable is left where the signed one belongs")
        self.assertIn(f"the environment variable {PASSWORD_VARIABLE}", self.no_password.stderr)
        self.assertIn("could not sign it", self.wrong_password.stderr)
        self.assertIn("could not sign it", self.no_time_stamp.stderr)

    def test_the_password_shows_nowhere(self):
        self.require(self.signed_build)
        for out in self.outputs:
            self.assertNotIn(self.pki.password, out)
            self.assertNotIn(self.stranger.password, out)
        self.assertNotIn(self.pki.password, "\n".join(self.started_args))
        self.assertNotIn(self.pki.password, self.started_env)
        self.assertNotIn(PASSWORD_VARIABLE + "=", self.started_env)
        self.assertIn("-readpass", self.started_args)
        self.assertEqual(self.started_args[self.started_args.index("-h") + 1], "sha256")
        self.assertEqual(self.started_args[self.started_args.index("-ts") + 1], self.tsa.url)
        secret = self.pki.password.encode()
        for root, dirs, files in os.walk(TREE):
            for name in files:
                path = os.path.join(root, name)
                if os.path.islink(path):
                    continue
                with open(path, "rb") as f:
                    self.assertNotIn(secret, f.read(), path)

    def test_signing_keeps_what_the_program_reads_of_itself(self):
        """The signature is appended: the image as mapped (sections, resources, version block,
        file alignment) is the unsigned one, and only the header's checksum, the pointer to the
        signature and the link time differ before it."""
        self.require(self.unsigned_build, self.signed_build)
        with open(self.unsigned, "rb") as f:
            plain = f.read()
        with open(self.signed, "rb") as f:
            signed = f.read()
        a, b = pefile.PE(data=plain), pefile.PE(data=signed)
        for pe in (a, b):
            self.assertEqual(pe.OPTIONAL_HEADER.FileAlignment, 4096)
            for s in pe.sections:
                self.assertEqual(s.PointerToRawData % 4096, 0, s.Name)
        self.assertEqual([(s.Name, s.PointerToRawData, s.get_data()) for s in a.sections],
                         [(s.Name, s.PointerToRawData, s.get_data()) for s in b.sections])
        self.assertEqual(resources(a), resources(b))
        with open(os.path.join(TREE, "payload", "NET4.5.7z"), "rb") as f:
            self.assertEqual(resources(b)[("KU", "NET45", 2052)], f.read())
        strings = lambda pe: {k: v for fi in pe.FileInfo[0] if fi.Key == b"StringFileInfo"
                              for st in fi.StringTable for k, v in st.entries.items()}
        self.assertEqual(strings(b)[b"FileVersion"], b"1.0.0.2")
        self.assertEqual(strings(a), strings(b))

        security = b.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
        self.assertGreaterEqual(security.VirtualAddress, len(plain), "the signature lies behind the unsigned file")
        self.assertEqual(security.VirtualAddress + security.Size, len(signed))
        self.assertEqual(signed[len(plain):security.VirtualAddress].strip(b"\0"), b"")
        masked = [b.FILE_HEADER.get_field_absolute_offset("TimeDateStamp"),
                  b.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum"),
                  security.get_field_absolute_offset("VirtualAddress"),
                  security.get_field_absolute_offset("Size")]
        before, after = bytearray(plain), bytearray(signed[:len(plain)])
        for offset in masked:
            before[offset:offset + 4] = after[offset:offset + 4] = b"\0\0\0\0"
        self.assertTrue(before == after, "the signed file differs from the unsigned one before the signature")
        self.assertEqual(b.OPTIONAL_HEADER.CheckSum, b.generate_checksum(), "the header's checksum is the file's")

    # Under Wine

    def test_the_signed_installer_installs_as_the_unsigned_one(self):
        self.require(self.unsigned_build, self.signed_build)
        wine_run = os.path.join(BUILD, "wine-run")
        if subprocess.run([wine_run, "--check", ARCH]).returncode == NOT_RUN:
            self.skipTest(f"Wine cannot run the programs of this build in the {ARCH} prefix")
        sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
        import qvtest
        scratch = qvtest.Scratch("signed")
        try:
            self._compare_under_wine(qvtest, scratch)
        finally:
            scratch.cleanup()

    def _compare_under_wine(self, qvtest, scratch):
        def normalised(log):
            out = []
            for e in qvtest.read_log(log):
                keep = {k: e.get(k) for k in ("standin", "event", "exit", "cmd", "cwd", "self", "show", "parent")}
                # The work folder and each installer's progress channel have random names.
                out.append({k: re.sub(r"QvKu\.Section\.[0-9a-f]{32}", "SECTION", re.sub(qvtest.WORK_FOLDER, "WORK", v))
                            if isinstance(v, str) else v for k, v in keep.items()})
            return out

        exes = {}
        for kind, source in (("unsigned", self.unsigned), ("signed", self.signed)):
            os.makedirs(scratch.file(kind))
            exes[kind] = scratch.copy_exe(os.path.join(kind, "QvKu.exe"), source=source)
        cases = [({}, 0), ({"QVKU_STANDIN_ENU_EXIT": "1603"}, 1603), ({"QVKU_STANDIN_CHS_EXIT": "3010"}, 3010)]
        for i, (env, expected) in enumerate(cases):
            env = dict(env, QVKU_STANDIN_ENU_DELAY="50", QVKU_STANDIN_CHS_DELAY="50")
            seen = {}
            for kind, exe in exes.items():
                log = scratch.file(f"{kind}-{i}.log")
                code = qvtest.run_installer(ARCH, exe, ["-s"], env=env, log=log)
                seen[kind] = (code, normalised(log))
            with self.subTest(env=env):
                self.assertEqual(seen["unsigned"][0], expected)
                self.assertEqual(seen["signed"], seen["unsigned"])
                self.assertEqual([(e["standin"], e["event"]) for e in seen["signed"][1]],
                                 [("ENU", "start"), ("ENU", "pipe"), ("ENU", "end"),
                                  ("CHS", "start"), ("CHS", "pipe"), ("CHS", "end")])
        # The signed file finds itself to delete itself afterwards.
        for kind, exe in exes.items():
            self.assertEqual(qvtest.run_installer(ARCH, exe, ["-s", "-d"], log=scratch.file(kind + "-d.log")), 0)
        for kind, exe in exes.items():
            self.assertTrue(qvtest.wait_until(lambda: not os.path.exists(exe), 60), f"the {kind} installer stayed")


if __name__ == "__main__":
    unittest.main()
