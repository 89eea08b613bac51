package flata;

/** The base class of a multi-release library; versioned copies answer their version. */
public class Version {
    public static String name() {
        return "base";
    }
}
