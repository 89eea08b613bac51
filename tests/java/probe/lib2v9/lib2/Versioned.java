package lib2;

/** The version 9 of lib2.Versioned. */
public class Versioned {
    public String toString() {
        return "nine";
    }
}
