import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;

/**
 * Build step: sets ACC_VARARGS on one method of a class file.
 *
 *   java SetVarargs CLASS-FILE NAME DESCRIPTOR
 *
 * From 18 on, the runtime invokes a constructor by reflection through a method handle that
 * it spins on first use, unless the constructor is marked varargs without ending in an
 * array; then it calls it directly. The system class loader is built that way, before any
 * method handle exists, so the mark saves the spinning: about 10 ms, a quarter of a
 * hello-world's start on JDK 25. Otherwise the mark only shows in what reflection reports
 * (Constructor.isVarArgs); the runtime's verifier and linker do not look at it.
 */
public final class SetVarargs {
    private static final int ACC_VARARGS = 0x0080;

    private final byte[] b;
    private int pos;

    private SetVarargs(byte[] bytes) {
        b = bytes;
    }

    public static void main(String[] args) throws IOException {
        if (args.length != 3) {
            System.err.println("usage: SetVarargs CLASS-FILE NAME DESCRIPTOR");
            System.exit(2);
        }
        byte[] bytes = readAll(args[0]);
        int marked = new SetVarargs(bytes).mark(args[1], args[2]);
        if (marked != 1) {
            System.err.println(args[0] + ": " + marked + " methods " + args[1] + args[2] + ", expected one");
            System.exit(1);
        }
        FileOutputStream out = new FileOutputStream(args[0]);
        try {
            out.write(bytes);
        } finally {
            out.close();
        }
    }

    private static byte[] readAll(String path) throws IOException {
        InputStream in = new FileInputStream(path);
        try {
            ByteArrayOutputStream all = new ByteArrayOutputStream();
            byte[] chunk = new byte[8192];
            for (int n; (n = in.read(chunk)) > 0;) {
                all.write(chunk, 0, n);
            }
            return all.toByteArray();
        } finally {
            in.close();
        }
    }

    private int u1() {
        return b[pos++] & 0xff;
    }

    private int u2() {
        return (u1() << 8) | u1();
    }

    private int u4() {
        return (u2() << 16) | u2();
    }

    /** Marks the methods called name with the descriptor; returns how many there were. */
    private int mark(String name, String descriptor) throws IOException {
        if (b.length < 10 || u4() != 0xCAFEBABE) {
            throw new IOException("not a class file");
        }
        pos = 8;
        int count = u2();
        String[] utf8 = new String[count];
        for (int i = 1; i < count; i++) {
            int tag = u1();
            switch (tag) {
                case 1:
                    int length = u2();
                    utf8[i] = new DataInputStream(new ByteArrayInputStream(b, pos - 2, length + 2)).readUTF();
                    pos += length;
                    break;
                case 7: case 8: case 16: case 19: case 20:
                    pos += 2;
                    break;
                case 15:
                    pos += 3;
                    break;
                case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18:
                    pos += 4;
                    break;
                case 5: case 6:
                    pos += 8;
                    i++;
                    break;
                default:
                    throw new IOException("unknown constant tag " + tag);
            }
        }
        pos += 6;  // access flags, this class, super class
        int interfaces = u2();
        pos += 2 * interfaces;
        members(null, null, utf8);      // fields
        return members(name, descriptor, utf8);
    }

    /** Walks a field or method table, marking the members that match (none for a null name). */
    private int members(String name, String descriptor, String[] utf8) {
        int marked = 0;
        for (int n = u2(); n > 0; n--) {
            int flags = pos;
            pos += 2;
            int nameIndex = u2(), descriptorIndex = u2();
            if (name != null && name.equals(utf8[nameIndex]) && descriptor.equals(utf8[descriptorIndex])) {
                int value = ((b[flags] & 0xff) << 8 | (b[flags + 1] & 0xff)) | ACC_VARARGS;
                b[flags] = (byte) (value >> 8);
                b[flags + 1] = (byte) value;
                marked++;
            }
            for (int attributes = u2(); attributes > 0; attributes--) {
                pos += 2;
                int length = u4();
                pos += length;
            }
        }
        return marked;
    }
}
