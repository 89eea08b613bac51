package flat;

import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.util.ServiceLoader;

/**
 * The probe of a flat executable: every argument is a command, answered on one line
 * "command => answer".
 */
public class Main {
    public static void main(String[] args) {
        for (String arg : args) {
            String answer;
            try {
                answer = run(arg);
            } catch (Throwable t) {
                answer = "error " + t;
            }
            System.out.println(arg + " => " + answer);
        }
    }

    private static String run(String arg) throws Exception {
        int colon = arg.indexOf(':');
        String cmd = colon < 0 ? arg : arg.substring(0, colon);
        String value = colon < 0 ? "" : arg.substring(colon + 1);
        ClassLoader loader = Main.class.getClassLoader();
        if (cmd.equals("services")) {
            StringBuilder s = new StringBuilder();
            for (Plugin p : ServiceLoader.load(Plugin.class)) s.append(s.length() > 0 ? " " : "").append(p.name());
            return s.toString();
        }
        if (cmd.equals("version")) return String.valueOf(Class.forName("flata.Version").getMethod("name").invoke(null));
        if (cmd.equals("where")) return String.valueOf(Class.forName(value).getProtectionDomain().getCodeSource().getLocation());
        if (cmd.equals("resurl")) return String.valueOf(loader.getResource(value));
        if (cmd.equals("res")) return text(loader.getResourceAsStream(value));
        return "unknown";
    }

    private static String text(InputStream in) throws Exception {
        if (in == null) return "null";
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] buf = new byte[4096];
        for (int n; (n = in.read(buf)) > 0; ) out.write(buf, 0, n);
        in.close();
        return new String(out.toByteArray(), "UTF-8").trim();
    }
}
