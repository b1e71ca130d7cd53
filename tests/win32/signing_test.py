#!/usr/bin/env python3
"""scripts/lib/sign-exe on a copy of the built updater.exe, with a throw-away
code-signing certificate made by openssl and a local RFC 3161 time-stamp
server (openssl ts): osslsigncode verify accepts the signature with that
certificate as its trusted root, and refuses a changed file and another root;
a signing that fails leaves the file as it was.

  signing_test.py EXE WORK
"""
import http.server
import pathlib
import shutil
import subprocess
import sys
import threading

ROOT = pathlib.Path(__file__).resolve().parents[2]
TSA_CONFIG = """[tsa]
default_tsa = velmar
[velmar]
serial = {work}/tsa.serial
signer_cert = {work}/tsa.pem
signer_key = {work}/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
"""


def run(*argv, cwd, check=True):
    result = subprocess.run(argv, cwd=cwd, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"{argv}: {result.returncode}\n{result.stdout}{result.stderr}")
    return result


def make_certificate(work, name, usage):
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
        "-subj", f"/CN=Velmar Test {name}", "-keyout", f"{name}.key", "-out", f"{name}.pem",
        "-addext", "keyUsage=critical,digitalSignature", "-addext", f"extendedKeyUsage={usage}",
        cwd=work)


def time_stamp_server(work):
    """Answers one time-stamp query after another with `openssl ts -reply`."""
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", str(work / "tsa.cnf"),
                                    "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
                                   input=query, capture_output=True).stdout
            self.send_response(200 if reply else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"http://127.0.0.1:{server.server_port}/"


def verify(work, exe, root, tsa=None):
    argv = ["osslsigncode", "verify", "-CAfile", root, "-in", exe]
    return run(*argv, *(["-TSA-CAfile", tsa] if tsa else []), cwd=work, check=False)


def main():
    exe, work = sys.argv[1], pathlib.Path(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    for name, usage in (("signer", "codeSigning"), ("other", "codeSigning"),
                        ("tsa", "critical,timeStamping")):
        make_certificate(work, name, usage)
    (work / "tsa.cnf").write_text(TSA_CONFIG.format(work=work))
    (work / "tsa.serial").write_text("01\n")
    (work / "password").write_text("geheim\n")
    run("openssl", "pkcs12", "-export", "-in", "signer.pem", "-inkey", "signer.key",
        "-out", "signer.p12", "-passout", "file:password", cwd=work)
    url = time_stamp_server(work)
    sign = str(ROOT / "scripts" / "lib" / "sign-exe")

    cases = [("pem", ["signer.pem", "signer.key"], None),
             ("p12", ["signer.p12", "--password-file", "password"], None),
             ("stamped", ["signer.pem", "signer.key", "--timestamp", url], "tsa.pem")]
    for name, args, tsa in cases:
        target = f"{name}.exe"
        shutil.copy(exe, work / target)
        run(sign, target, *args, cwd=work)
        out = verify(work, target, "signer.pem", tsa)
        assert out.returncode == 0, f"{name}: {out.stdout}{out.stderr}"
        assert "Message digest algorithm  : SHA256" in out.stdout, f"{name}: {out.stdout}"
        assert ("Timestamp Server Signature verification: ok" in out.stdout) == bool(tsa), name
        assert verify(work, target, "other.pem", tsa).returncode != 0, f"{name}: any root will do"

    # One byte of the program changed after signing.
    data = bytearray((work / "pem.exe").read_bytes())
    data[0x400] ^= 0xFF
    (work / "changed.exe").write_bytes(data)
    assert verify(work, "changed.exe", "signer.pem").returncode != 0, "a changed file verifies"

    (work / "wrong").write_text("falsch\n")
    shutil.copy(exe, work / "failed.exe")
    failed = run(sign, "failed.exe", "signer.p12", "--password-file", "wrong", cwd=work,
                 check=False)
    assert failed.returncode == 1 and "was not signed" in failed.stderr, failed
    assert (work / "failed.exe").read_bytes() == pathlib.Path(exe).read_bytes()
    assert not list(work.glob("failed.exe.*")), "nothing is left beside it"
    print("signing: ok")


if __name__ == "__main__":
    sys.exit(main())
