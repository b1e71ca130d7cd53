#!/usr/bin/env python3
"""scripts/lib/sign-exe on copies of the built updater.exe with a throw-away
code-signing certificate made by openssl: osslsigncode verify accepts the
signature with that certificate as its trusted root and refuses another root
and a changed file; a signing that fails leaves the file as it was.

  signing_test.py EXE WORK
"""
import pathlib
import shutil
import subprocess
import sys

SIGN = str(pathlib.Path(__file__).resolve().parents[2] / "scripts" / "lib" / "sign-exe")


def run(*argv, cwd, check=True):
    result = subprocess.run(argv, cwd=cwd, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"{argv}: {result.returncode}\n{result.stdout}{result.stderr}")
    return result


def main():
    exe, work = sys.argv[1], pathlib.Path(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    for name in ("signer", "other"):
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", f"/CN=Velmar Test {name}", "-keyout", f"{name}.key", "-out", f"{name}.pem",
            "-addext", "keyUsage=critical,digitalSignature",
            "-addext", "extendedKeyUsage=codeSigning", cwd=work)
    (work / "password").write_text("geheim\n")
    (work / "wrong").write_text("falsch\n")
    run("openssl", "pkcs12", "-export", "-in", "signer.pem", "-inkey", "signer.key",
        "-out", "signer.p12", "-passout", "file:password", cwd=work)

    def verify(target, root):
        return run("osslsigncode", "verify", "-CAfile", root, "-in", target, cwd=work, check=False)

    for name, args in (("pem", ["signer.pem", "signer.key"]),
                       ("p12", ["signer.p12", "--password-file", "password"])):
        shutil.copy(exe, work / f"{name}.exe")
        run(SIGN, f"{name}.exe", *args, cwd=work)
        out = verify(f"{name}.exe", "signer.pem")
        assert out.returncode == 0, f"{name}: {out.stdout}{out.stderr}"
        assert "Message digest algorithm  : SHA256" in out.stdout, f"{name}: {out.stdout}"
        assert verify(f"{name}.exe", "other.pem").returncode != 0, f"{name}: any root will do"

    data = bytearray((work / "pem.exe").read_bytes())
    data[0x400] ^= 0xFF
    (work / "changed.exe").write_bytes(data)
    assert verify("changed.exe", "signer.pem").returncode != 0, "a changed program verifies"

    shutil.copy(exe, work / "failed.exe")
    failed = run(SIGN, "failed.exe", "signer.p12", "--password-file", "wrong", cwd=work,
                 check=False)
    assert failed.returncode == 1 and "was not signed" in failed.stderr, failed
    assert (work / "failed.exe").read_bytes() == pathlib.Path(exe).read_bytes()
    assert not list(work.glob("failed.exe.*")), "nothing is left beside it"
    print("signing: ok")


if __name__ == "__main__":
    sys.exit(main())
